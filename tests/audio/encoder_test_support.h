// Helpers shared by the encoder feed's tests: scratch folders, running a
// program for its output, generated sound and pushing it at a pace the
// encoder can follow.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "encoder_feed.h"

extern char** environ;

namespace lentaro::audio::testing {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lentaro-enc-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Runs argv (PATH searched) and returns its standard output, or nothing
// when it cannot start or exits non-zero.
inline std::optional<std::string> runForOutput(const std::vector<std::string>& argv) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(fds[1]);
  std::string out;
  if (rc == 0) {
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
      if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fds[0]);
  if (rc != 0) return std::nullopt;
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

// Frames an MP3 file decodes to (mpg123 honours the gapless tag of lame),
// or -1 when it does not decode.
inline long decodedMp3Frames(const std::filesystem::path& mp3, int channels) {
  auto pcm = runForOutput({"mpg123", "-q", "-s", mp3.string()});
  if (!pcm) return -1;
  return static_cast<long>(pcm->size() / (2 * static_cast<std::size_t>(channels)));
}

// A sine with a distinct value in every channel of a frame, so that a
// swapped or shifted channel shows in a byte comparison.
inline std::vector<int16_t> tone(std::size_t frames, int channels, int rate) {
  std::vector<int16_t> s(frames * static_cast<std::size_t>(channels));
  for (std::size_t f = 0; f < frames; ++f) {
    const double v = std::sin(2.0 * M_PI * 440.0 * static_cast<double>(f) / rate);
    for (int c = 0; c < channels; ++c) {
      s[f * channels + c] = static_cast<int16_t>(std::lround(9000.0 * v) + 7 * c);
    }
  }
  return s;
}

// Pushes `samples` in callback-sized chunks, keeping at most `aheadFrames`
// frames beyond what the encoder has taken, as an output callback running
// in real time would. Stops early when the encoder has failed or ended.
inline void pushPaced(EncoderFeed& feed, const std::vector<int16_t>& samples, int channels,
                      std::size_t chunkFrames, std::size_t aheadFrames) {
  using namespace std::chrono_literals;
  const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels);
  const std::size_t total = samples.size() / channels;
  const auto giveUp = std::chrono::steady_clock::now() + 20s;
  for (std::size_t f = 0; f < total; f += chunkFrames) {
    const std::size_t n = std::min(chunkFrames, total - f);
    for (;;) {
      const EncoderStatus s = feed.status();
      const uint64_t taken = s.bytesWritten > 44 ? s.bytesWritten - 44 : 0;
      const uint64_t pushed = f * frameBytes;
      if (pushed <= taken + s.bytesDropped + aheadFrames * frameBytes) break;
      if (!s.running || s.failed || std::chrono::steady_clock::now() > giveUp) break;
      std::this_thread::sleep_for(1ms);
    }
    feed.push(samples.data() + f * channels, n);
  }
}

// Polls until the encoder process has ended or `timeout` has passed.
inline EncoderStatus waitUntilEnded(const EncoderFeed& feed, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  EncoderStatus s = feed.status();
  while (s.running && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    s = feed.status();
  }
  return s;
}

}  // namespace lentaro::audio::testing
