// Start-up time of a program's first window, measured from the X server's
// side: the time from starting the process to the map of its first
// top-level window. Run under a private X server (bench/startup-time), so
// no other client maps windows meanwhile.
//
//   startup_bench RUNS PROGRAM [PROGRAM...]
//
// The programs run in turn, RUNS times each, interleaved so that a change
// in the machine's load hits all of them alike. Prints the median, minimum
// and maximum per program and each one's median against the last program's.
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from spawn to the first MapNotify of a child of the root, or
// a negative value when none came within the bound.
double timeToFirstMap(Display* dpy, const char* program) {
  const Window root = DefaultRootWindow(dpy);
  XSelectInput(dpy, root, SubstructureNotifyMask);
  XSync(dpy, True);  // drop anything queued before this run
  const auto start = Clock::now();
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(program), nullptr};
  if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) return -1;
  double ms = -1;
  const int fd = ConnectionNumber(dpy);
  while (std::chrono::duration<double>(Clock::now() - start).count() < 20) {
    while (XPending(dpy) > 0) {
      XEvent ev;
      XNextEvent(dpy, &ev);
      if (ev.type == MapNotify && ev.xmap.event == root && ms < 0) {
        ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      }
    }
    if (ms >= 0) break;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{0, 1000};
    select(fd + 1, &set, nullptr, nullptr, &tv);
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RUNS PROGRAM [PROGRAM...]\n", argv[0]);
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  Display* dpy = XOpenDisplay(nullptr);
  if (dpy == nullptr) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  const int programs = argc - 2;
  std::vector<std::vector<double>> times(static_cast<size_t>(programs));
  // One unmeasured run each: the first start pays for cold caches.
  for (int p = 0; p < programs; ++p) timeToFirstMap(dpy, argv[2 + p]);
  for (int r = 0; r < runs; ++r) {
    for (int p = 0; p < programs; ++p) {
      const double ms = timeToFirstMap(dpy, argv[2 + p]);
      if (ms < 0) {
        std::fprintf(stderr, "%s showed no window\n", argv[2 + p]);
        return 1;
      }
      times[static_cast<size_t>(p)].push_back(ms);
    }
  }
  std::vector<double> medians;
  for (auto& t : times) {
    std::sort(t.begin(), t.end());
    medians.push_back(t[t.size() / 2]);
  }
  for (int p = 0; p < programs; ++p) {
    const auto& t = times[static_cast<size_t>(p)];
    std::printf("%-40s median %7.1f ms  min %7.1f  max %7.1f  (%d runs)  %.2fx\n", argv[2 + p],
                medians[static_cast<size_t>(p)], t.front(), t.back(), runs,
                medians[static_cast<size_t>(p)] / medians.back());
  }
  XCloseDisplay(dpy);
  return 0;
}
