// The last error code of the C interface, per calling thread, and the guard
// that keeps C++ exceptions from crossing that interface.
#pragma once

#include <exception>
#include <new>

#include "lentaro/bass.h"

namespace lentaro::audio {

void setLastError(int code);
int lastError();

// Runs body (which returns R and sets its own error codes) and turns any
// exception into `failure` with BASS_ERROR_MEM or BASS_ERROR_UNKNOWN.
template <class R, class F>
R guarded(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    setLastError(BASS_ERROR_MEM);
  } catch (...) {
    setLastError(BASS_ERROR_UNKNOWN);
  }
  return failure;
}

// Shorthand for the usual "set the code and return the failure value".
template <class R>
R fail(int code, R failure) {
  setLastError(code);
  return failure;
}

}  // namespace lentaro::audio
