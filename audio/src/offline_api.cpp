// The C interface of offline work (lentaro/bass_offline.h): argument
// checks, error codes and the handles of renders and encoders. Every entry
// point catches everything; no exception leaves it.
//
// The handle tables are this file's own, apart from the engine's: each is
// guarded by its mutex, held only to look a handle up, add or remove it,
// never while decoding or waiting for a process. A call works on the
// object through a shared reference taken under that lock and under the
// object's own mutex, which keeps calls on one handle one at a time.
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "decoder.h"
#include "engine_error.h"
#include "lentaro/bass_offline.h"
#include "offline_encoder.h"
#include "offline_peaks.h"
#include "offline_render.h"

using lentaro::audio::fail;
using lentaro::audio::guarded;
using lentaro::audio::setLastError;

namespace {

constexpr float kMinTempo = -95.0f;  // as BASS_ChannelSetAttribute clamps
constexpr float kMaxTempo = 5000.0f;
constexpr float kMaxPitch = 60.0f;

template <class T>
struct Guarded {
  std::mutex use;  // one call at a time on this object
  std::unique_ptr<T> object;
};

template <class T>
class HandleTable {
 public:
  DWORD add(std::unique_ptr<T> object) {
    auto entry = std::make_shared<Guarded<T>>();
    entry->object = std::move(object);
    std::lock_guard<std::mutex> lock(mutex_);
    if (++next_ == 0) ++next_;  // 0 is never a handle
    entries_.emplace(next_, std::move(entry));
    return next_;
  }
  std::shared_ptr<Guarded<T>> find(DWORD handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(handle);
    return it == entries_.end() ? nullptr : it->second;
  }
  std::shared_ptr<Guarded<T>> take(DWORD handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(handle);
    if (it == entries_.end()) return nullptr;
    auto entry = std::move(it->second);
    entries_.erase(it);
    return entry;
  }

 private:
  std::mutex mutex_;
  DWORD next_ = 0;
  std::unordered_map<DWORD, std::shared_ptr<Guarded<T>>> entries_;
};

HandleTable<lentaro::audio::OfflineRender>& renders() {
  static HandleTable<lentaro::audio::OfflineRender> table;
  return table;
}

HandleTable<lentaro::audio::OfflineEncoder>& encoders() {
  static HandleTable<lentaro::audio::OfflineEncoder> table;
  return table;
}

// As the application opens a file: a stream, or else a module.
std::unique_ptr<lentaro::audio::Decoder> openAny(const char* path, bool* module, int* error) {
  *module = false;
  int streamError = BASS_ERROR_FORMAT;
  if (auto d = lentaro::audio::openStreamDecoder(path, &streamError)) return d;
  if (streamError == BASS_ERROR_FILEOPEN) {
    *error = streamError;
    return nullptr;
  }
  int moduleError = BASS_ERROR_FORMAT;
  if (auto d = lentaro::audio::openModuleDecoder(path, lentaro::audio::kOutputRate, &moduleError)) {
    *module = true;
    return d;
  }
  *error = BASS_ERROR_FORMAT;
  return nullptr;
}

}  // namespace

extern "C" {

DWORD BASS_Lentaro_RenderOpen(const char* path, float tempoPercent, float pitchSemitones,
                              float volume, QWORD startByte, QWORD endByte) {
  return guarded(DWORD{0}, [&]() -> DWORD {
    if (path == nullptr || !std::isfinite(tempoPercent) || !std::isfinite(pitchSemitones) ||
        !std::isfinite(volume)) {
      return fail(BASS_ERROR_ILLPARAM, DWORD{0});
    }
    bool module = false;
    int error = BASS_ERROR_FORMAT;
    std::unique_ptr<lentaro::audio::Decoder> decoder = openAny(path, &module, &error);
    if (!decoder) return fail(error, DWORD{0});
    const QWORD bytesPerFrame = 2 * static_cast<QWORD>(std::max(decoder->format().channels, 1));
    lentaro::audio::RenderSettings settings;
    settings.tempo = std::clamp(tempoPercent, kMinTempo, kMaxTempo);
    settings.pitch = std::clamp(pitchSemitones, -kMaxPitch, kMaxPitch);
    settings.volume = std::clamp(volume, 0.0f, 1.0f);
    if (startByte != 0 || endByte != 0) {
      if (startByte >= endByte) return fail(BASS_ERROR_ILLPARAM, DWORD{0});
      const QWORD limit = static_cast<QWORD>(INT64_MAX);
      settings.start = static_cast<int64_t>(std::min(startByte / bytesPerFrame, limit));
      settings.end = static_cast<int64_t>(std::min(endByte / bytesPerFrame, limit));
      if (settings.start >= settings.end) return fail(BASS_ERROR_ILLPARAM, DWORD{0});
    }
    error = BASS_ERROR_FORMAT;
    auto render =
        lentaro::audio::OfflineRender::create(std::move(decoder), module, settings, &error);
    if (!render) return fail(error, DWORD{0});
    const DWORD h = renders().add(std::move(render));
    setLastError(BASS_OK);
    return h;
  });
}

int BASS_Lentaro_RenderRead(DWORD handle, int16_t* out, int frames) {
  return guarded(-1, [&]() -> int {
    auto entry = renders().find(handle);
    if (!entry) return fail(BASS_ERROR_HANDLE, -1);
    if (frames < 0 || (frames > 0 && out == nullptr)) return fail(BASS_ERROR_ILLPARAM, -1);
    std::lock_guard<std::mutex> lock(entry->use);
    const int got = entry->object->read(out, frames);
    setLastError(BASS_OK);
    return got;
  });
}

BOOL BASS_Lentaro_RenderProgress(DWORD handle, QWORD* sourceFramesDone, QWORD* sourceFramesTotal) {
  return guarded(FALSE, [&]() -> BOOL {
    auto entry = renders().find(handle);
    if (!entry) return fail(BASS_ERROR_HANDLE, FALSE);
    // No use lock: these read atomics and constants, so a progress display
    // never waits for a read in progress.
    if (sourceFramesDone) *sourceFramesDone = static_cast<QWORD>(entry->object->sourceDone());
    if (sourceFramesTotal) *sourceFramesTotal = static_cast<QWORD>(entry->object->sourceTotal());
    setLastError(BASS_OK);
    return TRUE;
  });
}

QWORD BASS_Lentaro_RenderLength(DWORD handle) {
  return guarded(~QWORD{0}, [&]() -> QWORD {
    auto entry = renders().find(handle);
    if (!entry) return fail(BASS_ERROR_HANDLE, ~QWORD{0});
    setLastError(BASS_OK);
    return entry->object->expectedFrames();
  });
}

BOOL BASS_Lentaro_RenderClose(DWORD handle) {
  return guarded(FALSE, [&]() -> BOOL {
    // The last reference (this one, or a read's still running) frees it.
    if (!renders().take(handle)) return fail(BASS_ERROR_HANDLE, FALSE);
    setLastError(BASS_OK);
    return TRUE;
  });
}

int BASS_Lentaro_ComputePeaks(const char* path, int columns, float* mins, float* maxs,
                              double* lengthSeconds, volatile int* cancel,
                              LENTARO_PEAKSPROC progress, void* user) {
  return guarded(-1, [&]() -> int {
    if (path == nullptr || columns < 1 || mins == nullptr || maxs == nullptr) {
      return fail(BASS_ERROR_ILLPARAM, -1);
    }
    bool module = false;
    int error = BASS_ERROR_FORMAT;
    std::unique_ptr<lentaro::audio::Decoder> decoder = openAny(path, &module, &error);
    if (!decoder) return fail(error, -1);
    const lentaro::audio::StreamFormat f = decoder->format();
    if (f.channels < 1 || f.rate < 1) return fail(BASS_ERROR_FORMAT, -1);
    if (lengthSeconds) *lengthSeconds = static_cast<double>(decoder->lengthFrames()) / f.rate;
    const int filled =
        lentaro::audio::computePeaks(*decoder, columns, mins, maxs, cancel, progress, user);
    setLastError(BASS_OK);
    return filled;
  });
}

DWORD BASS_Lentaro_EncoderOpen(const char* const* argv) {
  return guarded(DWORD{0}, [&]() -> DWORD {
    if (argv == nullptr || argv[0] == nullptr) return fail(BASS_ERROR_ILLPARAM, DWORD{0});
    std::vector<std::string> args;
    for (const char* const* a = argv; *a != nullptr; ++a) args.emplace_back(*a);
    auto encoder = lentaro::audio::OfflineEncoder::start(args);
    if (!encoder) return fail(BASS_ERROR_CREATE, DWORD{0});
    const DWORD h = encoders().add(std::move(encoder));
    setLastError(BASS_OK);
    return h;
  });
}

BOOL BASS_Lentaro_EncoderWrite(DWORD handle, const int16_t* frames, int count) {
  return guarded(FALSE, [&]() -> BOOL {
    auto entry = encoders().find(handle);
    if (!entry) return fail(BASS_ERROR_HANDLE, FALSE);
    if (count < 0 || (count > 0 && frames == nullptr)) return fail(BASS_ERROR_ILLPARAM, FALSE);
    std::lock_guard<std::mutex> lock(entry->use);
    if (!entry->object->write(frames, count)) return fail(BASS_ERROR_CREATE, FALSE);
    setLastError(BASS_OK);
    return TRUE;
  });
}

BOOL BASS_Lentaro_EncoderClose(DWORD handle, BOOL abandon, DWORD timeoutMs,
                               BASS_ENCODE_STATUS* status) {
  return guarded(FALSE, [&]() -> BOOL {
    auto entry = encoders().take(handle);
    if (!entry) return fail(BASS_ERROR_HANDLE, FALSE);
    std::lock_guard<std::mutex> lock(entry->use);
    const lentaro::audio::EncoderStatus s =
        entry->object->finish(abandon != FALSE, std::chrono::milliseconds(timeoutMs));
    if (status) {
      status->running = FALSE;
      status->failed = s.failed ? TRUE : FALSE;
      status->exitStatus = s.exitStatus;
      status->termSignal = s.termSignal;
      status->bytesWritten = s.bytesWritten;
      status->bytesDropped = 0;
    }
    setLastError(BASS_OK);
    return TRUE;
  });
}

}  // extern "C"
