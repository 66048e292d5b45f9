#include "engine_error.h"

namespace lentaro::audio {

namespace {
thread_local int tlsLastError = BASS_OK;
}

void setLastError(int code) {
  tlsLastError = code;
}
int lastError() {
  return tlsLastError;
}

}  // namespace lentaro::audio
