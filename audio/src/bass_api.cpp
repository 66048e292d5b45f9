// The C interface: argument checks and error codes over the Engine. Every
// entry point catches everything; no exception leaves it.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine.h"
#include "engine_error.h"
#include "engine_internal.h"
#include "lentaro/bass.h"

using lentaro::audio::DecodeSource;
using lentaro::audio::EncoderStatus;
using lentaro::audio::Engine;
using lentaro::audio::fail;
using lentaro::audio::guarded;
using lentaro::audio::setLastError;
using lentaro::audio::StretcherKind;
using lentaro::audio::TempoChannel;

namespace {

constexpr QWORD kBadPos = ~QWORD{0};

Engine& engine() {
  return Engine::instance();
}

bool ok() {
  setLastError(BASS_OK);
  return true;
}

// A failed lookup: "not initialised" takes precedence over "no such handle".
template <class R>
R noHandle(R failure) {
  return fail(engine().initialized() ? BASS_ERROR_HANDLE : BASS_ERROR_INIT, failure);
}

// The tempo channel behind a handle; null with the error set when it is
// dead or a decoding channel.
std::shared_ptr<TempoChannel> playable(DWORD handle) {
  auto ch = engine().tempo(handle);
  if (!ch) {
    if (engine().formatOf(handle)) return fail(BASS_ERROR_NOTAVAIL, nullptr);
    return noHandle(std::shared_ptr<TempoChannel>{});
  }
  return ch;
}

constexpr float kMinTempo = -95.0f;
constexpr float kMaxTempo = 5000.0f;
constexpr DWORD kMaxCountInClicks = 16;
// Shorter ranges would seek the decoder more often than they play.
constexpr double kMinLoopSeconds = 0.010;

bool pathExists(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0;
}

// The application quotes the program part of its command line with a
// trailing space ("...lame " - "out.mp3"); the Windows launcher ignores
// trailing spaces in a program name, so we do too, but only when the name
// as given does not exist.
void trimProgramName(std::vector<std::string>& argv) {
  if (argv.empty() || pathExists(argv[0])) return;
  std::string trimmed = argv[0];
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
  if (trimmed != argv[0] && pathExists(trimmed)) argv[0] = trimmed;
}

HSTREAM openSource(bool module, BOOL mem, const void* file, QWORD offset, QWORD length,
                   DWORD freq) {
  if (!engine().initialized()) return fail(BASS_ERROR_INIT, HSTREAM{0});
  if (mem || file == nullptr || offset != 0 || length != 0) {
    return fail(BASS_ERROR_ILLPARAM, HSTREAM{0});
  }
  const std::string path(static_cast<const char*>(file));
  int error = BASS_ERROR_FORMAT;
  std::unique_ptr<lentaro::audio::Decoder> decoder =
      module ? lentaro::audio::openModuleDecoder(
                   path, freq != 0 ? static_cast<int>(freq) : lentaro::audio::kOutputRate, &error)
             : lentaro::audio::openStreamDecoder(path, &error);
  if (!decoder) return fail(error != BASS_OK ? error : BASS_ERROR_FORMAT, HSTREAM{0});
  return engine().addSource(std::move(decoder), module);
}

}  // namespace

namespace lentaro::audio {
HSTREAM createStreamFromDecoder(std::unique_ptr<Decoder> decoder) {
  return guarded(HSTREAM{0}, [&] {
    if (!decoder) return fail(BASS_ERROR_ILLPARAM, HSTREAM{0});
    return engine().addSource(std::move(decoder), false);
  });
}

BOOL initWithOutput(std::function<std::unique_ptr<Output>(Mixer&)> make) {
  return guarded(FALSE, [&]() -> BOOL {
    if (!make) return fail(BASS_ERROR_ILLPARAM, FALSE);
    return engine().initWithOutput(make) ? TRUE : FALSE;
  });
}

uint64_t outputFramesRendered() {
  return engine().framesRendered();
}
}  // namespace lentaro::audio

extern "C" {

DWORD BASS_GetVersion(void) {
  return 0x02040000u;
}
DWORD BASS_FX_GetVersion(void) {
  return 0x02040000u;
}

int BASS_ErrorGetCode(void) {
  return lentaro::audio::lastError();
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* /*win*/, void* dsguid) {
  return guarded(FALSE, [&]() -> BOOL {
    if (dsguid != nullptr) return fail(BASS_ERROR_ILLPARAM, FALSE);
    return engine().init(device, freq, flags) ? TRUE : FALSE;
  });
}

BOOL BASS_Free(void) {
  return guarded(FALSE, [&]() -> BOOL { return engine().shutdown() ? TRUE : FALSE; });
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                              DWORD /*flags*/) {
  return guarded(HSTREAM{0}, [&] { return openSource(false, mem, file, offset, length, 0); });
}

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD /*flags*/,
                      DWORD freq) {
  return guarded(HMUSIC{0}, [&] { return openSource(true, mem, file, offset, length, freq); });
}

HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags) {
  return guarded(HSTREAM{0}, [&] { return engine().createTempo(chan, flags); });
}

BOOL BASS_StreamFree(HSTREAM handle) {
  return guarded(FALSE, [&]() -> BOOL {
    if (!engine().initialized()) return fail(BASS_ERROR_HANDLE, FALSE);
    return engine().freeChannel(handle) ? TRUE : FALSE;
  });
}

BOOL BASS_MusicFree(HMUSIC handle) {
  return BASS_StreamFree(handle);
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = engine().tempo(handle);
    if (!ch) return engine().formatOf(handle) ? fail(BASS_ERROR_NOTAVAIL, FALSE) : noHandle(FALSE);
    ch->play(restart != FALSE);
    return ok();
  });
}

BOOL BASS_ChannelPause(DWORD handle) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = engine().tempo(handle);
    if (!ch) return engine().formatOf(handle) ? fail(BASS_ERROR_NOTAVAIL, FALSE) : noHandle(FALSE);
    ch->pause();
    return ok();
  });
}

BOOL BASS_ChannelStop(DWORD handle) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = engine().tempo(handle);
    if (!ch) return engine().formatOf(handle) ? fail(BASS_ERROR_NOTAVAIL, FALSE) : noHandle(FALSE);
    ch->stop();
    return ok();
  });
}

DWORD BASS_ChannelIsActive(DWORD handle) {
  return guarded(DWORD{BASS_ACTIVE_STOPPED}, [&]() -> DWORD {
    if (auto ch = engine().tempo(handle)) {
      setLastError(BASS_OK);
      return static_cast<DWORD>(ch->activity());
    }
    if (auto src = engine().source(handle)) {
      // A decoding channel is "playing" while it has sound left to decode.
      setLastError(BASS_OK);
      return src->wrapped.load() || src->position < src->lengthFrames ? BASS_ACTIVE_PLAYING
                                                                      : BASS_ACTIVE_STOPPED;
    }
    return noHandle(DWORD{BASS_ACTIVE_STOPPED});
  });
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = engine().tempo(handle);
    if (!ch) {
      if (!engine().formatOf(handle)) return noHandle(FALSE);
      return fail(BASS_ERROR_ILLTYPE, FALSE);  // a decoding channel has no attributes
    }
    if (!std::isfinite(value)) return fail(BASS_ERROR_ILLPARAM, FALSE);
    switch (attrib) {
      case BASS_ATTRIB_VOL:
        ch->setVolume(std::clamp(value, 0.0f, 1.0f));
        break;
      case BASS_ATTRIB_TEMPO:
        // Clamped rather than refused: the nearest sound to what the
        // user's control shows.
        ch->setTempo(std::clamp(value, kMinTempo, kMaxTempo));
        break;
      case BASS_ATTRIB_TEMPO_PITCH:
        ch->setPitch(std::clamp(value, -60.0f, 60.0f));
        break;
      case BASS_ATTRIB_LENTARO_STRETCHER:
        if (value != BASS_LENTARO_STRETCHER_FAST && value != BASS_LENTARO_STRETCHER_HIGH) {
          return fail(BASS_ERROR_ILLPARAM, FALSE);
        }
        ch->setStretcher(static_cast<StretcherKind>(static_cast<int>(value)));
        break;
      default:
        return fail(BASS_ERROR_ILLTYPE, FALSE);
    }
    return ok();
  });
}

BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = engine().tempo(handle);
    if (!ch) {
      if (!engine().formatOf(handle)) return noHandle(FALSE);
      return fail(BASS_ERROR_ILLTYPE, FALSE);
    }
    if (value == nullptr) return fail(BASS_ERROR_ILLPARAM, FALSE);
    switch (attrib) {
      case BASS_ATTRIB_VOL:
        *value = ch->volume();
        break;
      case BASS_ATTRIB_TEMPO:
        *value = ch->tempo();
        break;
      case BASS_ATTRIB_TEMPO_PITCH:
        *value = ch->pitch();
        break;
      case BASS_ATTRIB_LENTARO_STRETCHER:
        *value = static_cast<float>(static_cast<int>(ch->stretcher()));
        break;
      default:
        return fail(BASS_ERROR_ILLTYPE, FALSE);
    }
    return ok();
  });
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
  return guarded(kBadPos, [&]() -> QWORD {
    std::shared_ptr<DecodeSource> src = engine().formatOf(handle);
    if (!src) return noHandle(kBadPos);
    if (mode != BASS_POS_BYTE) return fail(BASS_ERROR_ILLTYPE, kBadPos);
    int64_t frame = src->position;
    if (auto ch = engine().tempo(handle)) frame = ch->position(engine().positionAtBlockStart());
    setLastError(BASS_OK);
    return static_cast<QWORD>(frame) * static_cast<QWORD>(src->bytesPerFrame());
  });
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
  return guarded(kBadPos, [&]() -> QWORD {
    std::shared_ptr<DecodeSource> src = engine().formatOf(handle);
    if (!src) return noHandle(kBadPos);
    if (mode != BASS_POS_BYTE) return fail(BASS_ERROR_ILLTYPE, kBadPos);
    setLastError(BASS_OK);
    return static_cast<QWORD>(src->lengthFrames) * static_cast<QWORD>(src->bytesPerFrame());
  });
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
  return guarded(FALSE, [&]() -> BOOL {
    std::shared_ptr<DecodeSource> src = engine().formatOf(handle);
    if (!src) return noHandle(FALSE);
    if (mode != BASS_POS_BYTE) return fail(BASS_ERROR_ILLTYPE, FALSE);
    const QWORD frame = pos / static_cast<QWORD>(src->bytesPerFrame());
    if (frame > static_cast<QWORD>(src->lengthFrames)) return fail(BASS_ERROR_POSITION, FALSE);
    const auto f = static_cast<int64_t>(frame);
    if (auto ch = engine().tempo(handle)) {
      ch->seek(f);
      return ok();
    }
    // A decoding channel; once wrapped its decoder belongs to the tempo
    // channel's producer.
    if (src->wrapped.load()) return fail(BASS_ERROR_NOTAVAIL, FALSE);
    if (!src->decoder->seek(f)) return fail(BASS_ERROR_POSITION, FALSE);
    src->position = f;
    return ok();
  });
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  return guarded(-1.0, [&]() -> double {
    std::shared_ptr<DecodeSource> src = engine().formatOf(handle);
    if (!src) return noHandle(-1.0);
    setLastError(BASS_OK);
    const QWORD frames = pos / static_cast<QWORD>(src->bytesPerFrame());
    return static_cast<double>(frames) / src->format.rate;
  });
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
  return guarded(kBadPos, [&]() -> QWORD {
    std::shared_ptr<DecodeSource> src = engine().formatOf(handle);
    if (!src) return noHandle(kBadPos);
    if (!std::isfinite(pos) || pos < 0) return fail(BASS_ERROR_ILLPARAM, kBadPos);
    setLastError(BASS_OK);
    // Nudged so that a time made by Bytes2Seconds maps back to its frame.
    const auto frames = static_cast<QWORD>(std::floor(pos * src->format.rate + 1e-6));
    return frames * static_cast<QWORD>(src->bytesPerFrame());
  });
}

BOOL BASS_Lentaro_ChannelSetLoop(DWORD handle, QWORD start, QWORD end) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = playable(handle);
    if (!ch) return FALSE;
    const DecodeSource& src = *ch->source();
    const auto bpf = static_cast<QWORD>(src.bytesPerFrame());
    const QWORD first = start / bpf;
    const QWORD last = end / bpf;
    if (first == 0 && last == 0) {
      ch->setLoop(0, 0);
      return ok();
    }
    if (last > static_cast<QWORD>(src.lengthFrames)) return fail(BASS_ERROR_POSITION, FALSE);
    if (last <= first || static_cast<double>(last - first) < kMinLoopSeconds * src.format.rate) {
      return fail(BASS_ERROR_ILLPARAM, FALSE);
    }
    if (!ch->setLoop(static_cast<int64_t>(first), static_cast<int64_t>(last))) {
      return fail(BASS_ERROR_POSITION, FALSE);  // the decoder refused the place
    }
    return ok();
  });
}

BOOL BASS_Lentaro_ChannelGetLoop(DWORD handle, QWORD* start, QWORD* end) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = playable(handle);
    if (!ch) return FALSE;
    if (start == nullptr || end == nullptr) return fail(BASS_ERROR_ILLPARAM, FALSE);
    int64_t first = 0, last = 0;
    ch->loop(&first, &last);
    const auto bpf = static_cast<QWORD>(ch->source()->bytesPerFrame());
    *start = static_cast<QWORD>(first) * bpf;
    *end = static_cast<QWORD>(last) * bpf;
    return ok();
  });
}

DWORD BASS_Lentaro_ChannelGetLoopPass(DWORD handle) {
  return guarded(~DWORD{0}, [&]() -> DWORD {
    auto ch = playable(handle);
    if (!ch) return ~DWORD{0};
    setLastError(BASS_OK);
    return static_cast<DWORD>(ch->loopPass());
  });
}

BOOL BASS_Lentaro_ChannelSetTrainer(DWORD handle, const BASS_LENTARO_TRAINER* trainer) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = playable(handle);
    if (!ch) return FALSE;
    if (trainer == nullptr) {
      ch->setTrainer(nullptr);
      return ok();
    }
    const BASS_LENTARO_TRAINER& t = *trainer;
    if (!std::isfinite(t.startTempo) || !std::isfinite(t.step) || !std::isfinite(t.targetTempo) ||
        !(t.step > 0) || t.passesPerStep < 1 || t.targetTempo < t.startTempo) {
      return fail(BASS_ERROR_ILLPARAM, FALSE);
    }
    lentaro::audio::TrainerSettings settings;
    settings.startTempo = std::clamp(t.startTempo, kMinTempo, kMaxTempo);
    settings.targetTempo = std::clamp(t.targetTempo, kMinTempo, kMaxTempo);
    settings.step = t.step;
    settings.passesPerStep = static_cast<int>(std::min<DWORD>(t.passesPerStep, 1u << 30));
    ch->setTrainer(&settings);
    return ok();
  });
}

BOOL BASS_Lentaro_ChannelTrainerBackOff(DWORD handle) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = playable(handle);
    if (!ch) return FALSE;
    if (!ch->trainerBackOff()) return fail(BASS_ERROR_NOTAVAIL, FALSE);
    return ok();
  });
}

DWORD BASS_Lentaro_ChannelGetTempoChanges(DWORD handle) {
  return guarded(~DWORD{0}, [&]() -> DWORD {
    auto ch = playable(handle);
    if (!ch) return ~DWORD{0};
    setLastError(BASS_OK);
    return static_cast<DWORD>(ch->tempoChanges());
  });
}

BOOL BASS_Lentaro_ChannelSetCountIn(DWORD handle, const BASS_LENTARO_COUNTIN* countIn) {
  return guarded(FALSE, [&]() -> BOOL {
    auto ch = playable(handle);
    if (!ch) return FALSE;
    lentaro::audio::CountInSettings settings;
    if (countIn != nullptr && countIn->clicks > 0) {
      const BASS_LENTARO_COUNTIN& c = *countIn;
      const float beat = c.bpm > 0 ? c.bpm : c.beatsPerLoop;
      if (c.clicks > kMaxCountInClicks || !std::isfinite(beat) || !(beat > 0)) {
        return fail(BASS_ERROR_ILLPARAM, FALSE);
      }
      settings.clicks = static_cast<int>(c.clicks);
      settings.beatsPerLoop = c.beatsPerLoop;
      settings.bpm = c.bpm > 0 ? c.bpm : 0;
      settings.toRecording = c.record != FALSE;
    }
    ch->setCountIn(settings);
    return ok();
  });
}

HENCODE BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD /*flags*/, void* proc,
                          void* /*user*/) {
  return guarded(HENCODE{0}, [&]() -> HENCODE {
    if (!engine().tempo(handle)) return noHandle(HENCODE{0});
    if (cmdline == nullptr || proc != nullptr) return fail(BASS_ERROR_ILLPARAM, HENCODE{0});
    std::vector<std::string> argv = lentaro::audio::splitCommandLine(cmdline);
    trimProgramName(argv);
    return engine().startEncoder(handle, std::move(argv));
  });
}

HENCODE BASS_Encode_StartArgv(DWORD handle, const char* const* argv, DWORD /*flags*/, void* proc,
                              void* /*user*/) {
  return guarded(HENCODE{0}, [&]() -> HENCODE {
    if (!engine().tempo(handle)) return noHandle(HENCODE{0});
    if (argv == nullptr || argv[0] == nullptr || proc != nullptr) {
      return fail(BASS_ERROR_ILLPARAM, HENCODE{0});
    }
    std::vector<std::string> args;
    for (const char* const* a = argv; *a != nullptr; ++a) args.emplace_back(*a);
    return engine().startEncoder(handle, std::move(args));
  });
}

BOOL BASS_Encode_GetStatus(HENCODE handle, BASS_ENCODE_STATUS* status) {
  return guarded(FALSE, [&]() -> BOOL {
    if (status == nullptr) return fail(BASS_ERROR_ILLPARAM, FALSE);
    EncoderStatus s;
    if (!engine().encoderStatus(handle, &s)) return FALSE;
    status->running = s.running ? TRUE : FALSE;
    status->failed = s.failed ? TRUE : FALSE;
    status->exitStatus = s.exitStatus;
    status->termSignal = s.termSignal;
    status->bytesWritten = s.bytesWritten;
    status->bytesDropped = s.bytesDropped;
    return TRUE;
  });
}

int BASS_Lentaro_RenderOutput(int16_t* out, int frames) {
  return guarded(-1, [&] { return engine().renderManual(out, frames); });
}

BOOL BASS_Lentaro_SetDefaultStretcher(DWORD stretcher) {
  return guarded(FALSE, [&]() -> BOOL {
    if (stretcher != BASS_LENTARO_STRETCHER_FAST && stretcher != BASS_LENTARO_STRETCHER_HIGH) {
      return fail(BASS_ERROR_ILLPARAM, FALSE);
    }
    engine().setDefaultStretcher(static_cast<StretcherKind>(stretcher));
    return ok();
  });
}

DWORD BASS_Lentaro_GetDefaultStretcher(void) {
  return guarded(DWORD{0}, [&]() -> DWORD {
    setLastError(BASS_OK);
    return static_cast<DWORD>(lentaro::audio::defaultStretcherKind());
  });
}

}  // extern "C"
