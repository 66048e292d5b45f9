// Raising the threads that keep the sound going above ordinary work, so a
// busy machine (a compile, a browser) does not starve them.
//
// Thread: affects the calling thread only.
#pragma once

namespace lentaro::audio {

enum class ThreadRole {
  kOutput,  // writes to the device: round-robin real-time when allowed
  kDecode,  // fills the channels ahead of the output: just below it
};

// Tries real-time scheduling (SCHED_RR: granted to root and to users with
// an RLIMIT_RTPRIO), then a raised nice level (CAP_SYS_NICE or an
// RLIMIT_NICE). Returns false when the system grants neither; the thread
// then runs as before. Never blocks, never fails the caller.
bool raiseThreadPriority(ThreadRole role);

}  // namespace lentaro::audio
