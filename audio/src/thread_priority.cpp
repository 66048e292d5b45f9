#include "thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace lentaro::audio {

bool raiseThreadPriority(ThreadRole role) {
  // Low real-time priorities: above every ordinary process, below the
  // sound server's own (which PulseAudio and PipeWire run at 5 to 20 and
  // higher), so the server is never held up by us.
  const int wanted = role == ThreadRole::kOutput ? 4 : 3;
  rlimit limit{};
  int rt = wanted;
  if (geteuid() != 0 && getrlimit(RLIMIT_RTPRIO, &limit) == 0)
    rt = std::min<int>(wanted, static_cast<int>(limit.rlim_cur));
  if (rt > 0) {
    sched_param param{};
    param.sched_priority = rt;
    if (pthread_setschedparam(pthread_self(), SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0)
      return true;
  }
  // A nice level applies per thread on Linux (the thread's own id).
  const int nice = role == ThreadRole::kOutput ? -11 : -10;
  return setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice) == 0;
}

}  // namespace lentaro::audio
