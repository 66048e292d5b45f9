#include "pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <sstream>

extern char** environ;

namespace lentaro::audio::test {

namespace {

using namespace std::chrono_literals;

// Spawns argv with extra environment entries; stdout to `outFd` (or
// /dev/null when -1), stderr to `errPath` (or /dev/null when empty).
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int outFd,
            const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, errPath.empty() ? "/dev/null" : errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0600);
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  for (const auto& e : env) envStore.push_back(e);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

bool runQuiet(const std::vector<std::string>& args) {
  const pid_t pid = spawn(args, {}, -1, {});
  if (pid < 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void endChild(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
}

}  // namespace

bool PulseServer::start() {
  char pattern[] = "/tmp/lentaro-pulse-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    why_ = "cannot make a runtime folder";
    return false;
  }
  runtime_ = pattern;
  // Its own runtime and home folders: the cookie, the socket and the
  // state never meet a user's session.
  const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_,
                                     "XDG_CONFIG_HOME=" + runtime_, "PULSE_STATE_PATH=" + runtime_};
  pid_ = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                "--disallow-exit", "--log-target=stderr", "--log-level=debug", "--log-time=1", "-L",
                std::string("module-null-sink sink_name=") + kSink + " rate=44100", "-L",
                "module-native-protocol-unix socket=" + runtime_ + "/native auth-anonymous=1"},
               env, -1, runtime_ + "/server.log");
  if (pid_ < 0) {
    why_ = "pulseaudio is not installed";
    return false;
  }
  // Polled start-up of a process (not audio): up to 10 s.
  for (int i = 0; i < 500; ++i) {
    if (runQuiet({"pactl", "--server=" + address(), "info"})) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      why_ = "pulseaudio ended at start: " + log();
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
  why_ = "pulseaudio did not answer: " + log();
  return false;
}

void PulseServer::stop() {
  endChild(pid_);
  pid_ = -1;
  if (!runtime_.empty()) {
    runQuiet({"rm", "-rf", runtime_});
    runtime_.clear();
  }
}

namespace {
std::string readWhole(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}
}  // namespace

std::string PulseServer::log() const {
  return readWhole(runtime_ + "/server.log");
}

int PulseServer::underrunsLogged() const {
  std::istringstream in(log());
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.find("nderrun") != std::string::npos) ++n;
  }
  return n;
}

double PulseServer::cpuSeconds() const {
  const std::string text = readWhole("/proc/" + std::to_string(pid_) + "/stat");
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
  long utime = 0, stime = 0;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool MonitorCapture::start() {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  pid_ = spawn(
      {"parec", "--server=" + server_.address(), "-d", std::string(PulseServer::kSink) + ".monitor",
       "--raw", "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=20"},
      {}, pipeFds[1], {});
  close(pipeFds[1]);
  if (pid_ < 0) {
    close(pipeFds[0]);
    return false;
  }
  fd_ = pipeFds[0];
  reader_ = std::thread([this] {
    std::vector<int16_t> block(4096);
    for (;;) {
      const ssize_t n = read(fd_, block.data(), block.size() * sizeof(int16_t));
      if (n <= 0) break;
      std::lock_guard lock(mutex_);
      data_.insert(data_.end(), block.begin(),
                   block.begin() + n / static_cast<ssize_t>(sizeof(int16_t)));
    }
  });
  return true;
}

void MonitorCapture::stop() {
  endChild(pid_);
  pid_ = -1;
  if (reader_.joinable()) reader_.join();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::vector<int16_t> MonitorCapture::samples() const {
  std::lock_guard lock(mutex_);
  return data_;
}

std::size_t MonitorCapture::frames() const {
  std::lock_guard lock(mutex_);
  return data_.size() / 2;
}

namespace {
constexpr std::size_t kWindow = 220;  // 5 ms

double windowPeak(const std::vector<int16_t>& stereo, std::size_t start) {
  double peak = 0;
  for (std::size_t i = start; i < start + kWindow && 2 * i < stereo.size(); ++i)
    peak = std::max(peak, std::abs(static_cast<double>(stereo[2 * i])));
  return peak;
}

int windowCrossings(const std::vector<int16_t>& stereo, std::size_t start) {
  int n = 0;
  for (std::size_t i = start + 1; i < start + kWindow && 2 * i < stereo.size(); ++i)
    if ((stereo[2 * i - 2] < 0) != (stereo[2 * i] < 0)) ++n;
  return n;
}
}  // namespace

long firstLevelDrop(const std::vector<int16_t>& stereo, std::size_t from, double levelBelow) {
  if (from < 4 * kWindow) return -1;
  const double before = windowPeak(stereo, from - 2 * kWindow);
  for (std::size_t w = from; 2 * (w + kWindow) <= stereo.size(); w += kWindow / 4)
    if (windowPeak(stereo, w) < levelBelow * before) return static_cast<long>(w);
  return -1;
}

long firstFrequencyChange(const std::vector<int16_t>& stereo, std::size_t from, double hz) {
  const double expected = 2 * hz * kWindow / 44100.0;  // crossings in a window
  for (std::size_t w = from; 2 * (w + kWindow) <= stereo.size(); w += kWindow / 4)
    if (std::abs(windowCrossings(stereo, w) - expected) > expected / 2) return static_cast<long>(w);
  return -1;
}

ToneReport analyseTone(const std::vector<int16_t>& stereo, double hz, double tolerance) {
  ToneReport r;
  const std::size_t frames = stereo.size() / 2;
  auto left = [&](std::size_t i) { return static_cast<double>(stereo[2 * i]) / 32768.0; };
  // The tone's span: first and last sample above a tenth of full scale.
  std::size_t first = frames, last = 0;
  double peak = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    const double a = std::abs(left(i));
    peak = std::max(peak, a);
    if (a > 0.1) {
      first = std::min(first, i);
      last = i;
    }
  }
  if (first >= last) return r;
  r.toneSeconds = static_cast<double>(last - first) / 44100.0;
  const std::size_t guard = 882;  // 20 ms
  first += guard;
  last = last > guard ? last - guard : 0;
  const double c = 2 * std::cos(2 * std::numbers::pi * hz / 44100.0);
  const double limit = tolerance * peak;
  std::size_t silentRun = 0;
  bool inBreak = false;
  for (std::size_t i = first + 2; i < last; ++i) {
    const double err = std::abs(left(i) - (c * left(i - 1) - left(i - 2)));
    if (err > limit) {
      if (!inBreak) {
        ++r.discontinuities;
        r.breakTimes.push_back(static_cast<double>(i - first + guard) / 44100.0);
      }
      inBreak = true;
    } else {
      inBreak = false;
    }
    if (std::abs(left(i)) < 0.01 * peak) {
      ++silentRun;
    } else {
      if (silentRun >= 220) {
        ++r.gaps;
        r.longestGapMs = std::max(r.longestGapMs, silentRun / 44.1);
      }
      silentRun = 0;
    }
  }
  return r;
}

}  // namespace lentaro::audio::test
