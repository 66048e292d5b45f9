#include "encoder_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace lentaro::audio {
namespace {

ChildExit decode(int status) {
  ChildExit e;
  if (WIFEXITED(status)) {
    e.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    e.termSignal = WTERMSIG(status);
  }
  return e;
}

// Holds the spawn attribute objects so that every early return frees them.
struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attr{};
  bool actionsReady = false;
  bool attrReady = false;
  ~SpawnSetup() {
    if (actionsReady) posix_spawn_file_actions_destroy(&actions);
    if (attrReady) posix_spawnattr_destroy(&attr);
  }
};

}  // namespace

std::optional<EncoderProcess> EncoderProcess::spawn(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  // Both ends close on exec so that no other child (another encoder, a
  // helper the application starts) inherits the write end and keeps this
  // encoder from ever seeing the end of its input.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  const int readFd = fds[0];
  const int writeFd = fds[1];
  auto closeBoth = [&] {
    const int saved = errno;
    ::close(readFd);
    ::close(writeFd);
    errno = saved;
  };
  // Our end never blocks: the writer waits in poll() so that a deadline can
  // interrupt a child that stopped reading.
  if (::fcntl(writeFd, F_SETFL, O_NONBLOCK) != 0) {
    closeBoth();
    return std::nullopt;
  }

  SpawnSetup s;
  int rc = posix_spawn_file_actions_init(&s.actions);
  s.actionsReady = rc == 0;
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&s.actions, readFd, STDIN_FILENO);
  if (rc == 0)
    rc = posix_spawn_file_actions_addopen(&s.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&s.actions, STDOUT_FILENO, STDERR_FILENO);
  if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&s.actions, STDERR_FILENO + 1);
  if (rc == 0) {
    rc = posix_spawnattr_init(&s.attr);
    s.attrReady = rc == 0;
  }
  // A blocked or ignored SIGPIPE in the spawning thread (the application
  // may ignore it for itself) would be inherited across exec, so the child
  // gets the default disposition and an open mask.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  if (rc == 0) rc = posix_spawnattr_setsigmask(&s.attr, &none);
  if (rc == 0) rc = posix_spawnattr_setsigdefault(&s.attr, &defaults);
  if (rc == 0)
    rc = posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (rc != 0) {
    closeBoth();
    errno = rc;
    return std::nullopt;
  }

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  const bool searchPath = argv[0].find('/') == std::string::npos;
  // glibc reports a failed exec as the result of posix_spawn itself, so a
  // missing or non-executable program is known here and never becomes a
  // child that exits with 127.
  rc = searchPath ? posix_spawnp(&pid, args[0], &s.actions, &s.attr, args.data(), environ)
                  : posix_spawn(&pid, args[0], &s.actions, &s.attr, args.data(), environ);
  ::close(readFd);
  if (rc != 0) {
    ::close(writeFd);
    errno = rc;
    return std::nullopt;
  }
  return EncoderProcess(pid, writeFd);
}

EncoderProcess::EncoderProcess(EncoderProcess&& other) noexcept
    : pid_(other.pid_), inputFd_(other.inputFd_) {
  other.pid_ = -1;
  other.inputFd_ = -1;
}

EncoderProcess::~EncoderProcess() {
  closeInput();
  if (!reaped()) waitUntil(std::chrono::steady_clock::now());
}

void EncoderProcess::closeInput() {
  if (inputFd_ >= 0) {
    ::close(inputFd_);
    inputFd_ = -1;
  }
}

std::optional<ChildExit> EncoderProcess::poll() {
  if (reaped()) return std::nullopt;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return std::nullopt;
  pid_ = -1;
  if (r < 0) return ChildExit{};  // someone else reaped it: outcome unknown
  return decode(status);
}

ChildExit EncoderProcess::waitUntil(std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono_literals;
  // Sleeping in short steps keeps this portable (no pidfd) and bounded; a
  // finishing encoder is usually reaped within the first few steps.
  auto step = 1ms;
  while (!reaped()) {
    if (auto e = poll()) return *e;
    if (reaped()) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      // Only an unreaped pid is killed, so it cannot name another process.
      ::kill(pid_, SIGKILL);
      int status = 0;
      pid_t r;
      do {
        r = ::waitpid(pid_, &status, 0);
      } while (r < 0 && errno == EINTR);
      pid_ = -1;
      return r < 0 ? ChildExit{} : decode(status);
    }
    std::this_thread::sleep_for(step);
    if (step < 10ms) step *= 2;
  }
  return ChildExit{};
}

}  // namespace lentaro::audio
