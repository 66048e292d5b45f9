// The encoder's child process: started without a shell, its standard input
// a pipe whose write end we keep, its output and errors to /dev/null.
//
// Ownership: an EncoderProcess owns the pid until it has been reaped and the
// write end until closeInput(); the destructor closes the pipe and, if the
// child was never reaped, kills and reaps it, so no zombie outlives it.
// Threads: one thread at a time (the feed hands the object to its writer).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace lentaro::audio {

// How a reaped child ended.
struct ChildExit {
  int exitStatus = -1;  // when it exited; -1 when a signal ended it
  int termSignal = 0;   // the signal that ended it, 0 when it exited
};

class EncoderProcess {
 public:
  // Starts argv[0] (searched in PATH only when it holds no "/"). Returns
  // nothing when argv is empty or the program cannot be executed; errno then
  // tells why.
  static std::optional<EncoderProcess> spawn(const std::vector<std::string>& argv);

  EncoderProcess(EncoderProcess&& other) noexcept;
  EncoderProcess& operator=(EncoderProcess&&) = delete;
  EncoderProcess(const EncoderProcess&) = delete;
  EncoderProcess& operator=(const EncoderProcess&) = delete;
  ~EncoderProcess();

  // The non-blocking write end of the child's standard input, -1 once closed.
  int inputFd() const { return inputFd_; }
  void closeInput();

  // Reaps the child if it has ended; never blocks.
  std::optional<ChildExit> poll();
  // Waits until `deadline` for the child to end; after it, kills (SIGKILL)
  // and reaps. Always returns with the child reaped.
  ChildExit waitUntil(std::chrono::steady_clock::time_point deadline);

  bool reaped() const { return pid_ <= 0; }

 private:
  EncoderProcess(pid_t pid, int inputFd) : pid_(pid), inputFd_(inputFd) {}

  pid_t pid_ = -1;
  int inputFd_ = -1;
};

}  // namespace lentaro::audio
