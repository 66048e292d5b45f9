#include "offline_render.h"

#include <algorithm>

#include "lentaro/bass.h"
#include "mixer.h"
#include "stretcher.h"

namespace lentaro::audio {

std::unique_ptr<OfflineRender> OfflineRender::create(std::unique_ptr<Decoder> decoder, bool module,
                                                     const RenderSettings& settings, int* error) {
  if (!stretchersAvailable()) {
    *error = BASS_ERROR_NOTAVAIL;
    return nullptr;
  }
  const StreamFormat f = decoder->format();
  // What the engine accepts as a channel.
  if (f.channels < 1 || f.channels > 2 || f.rate < 1000 || f.rate > 192000) {
    *error = BASS_ERROR_FORMAT;
    return nullptr;
  }
  const int64_t length = decoder->lengthFrames();
  int64_t end = length;
  if (settings.start != 0 || settings.end != 0) {
    if (settings.end > length) {
      *error = BASS_ERROR_POSITION;
      return nullptr;
    }
    if (settings.start < 0 || settings.start >= settings.end) {
      *error = BASS_ERROR_ILLPARAM;
      return nullptr;
    }
    end = settings.end;
  }
  auto range = std::make_unique<RangeDecoder>(std::move(decoder), end);
  RangeDecoder* rangePtr = range.get();
  auto source = std::make_shared<DecodeSource>(std::move(range), module);
  std::unique_ptr<OfflineRender> r(new OfflineRender(std::move(source), rangePtr, settings, end));
  if (!r->begin()) {
    *error = BASS_ERROR_POSITION;
    return nullptr;
  }
  return r;
}

OfflineRender::OfflineRender(std::shared_ptr<DecodeSource> source, RangeDecoder* range,
                             const RenderSettings& settings, int64_t end)
    : source_(std::move(source)),
      range_(range),
      settings_(settings),
      start_(settings.start),
      end_(end),
      stage_(source_, /*loop=*/false) {}

bool OfflineRender::begin() {
  // The steps a channel takes: a seek resets the stage with the channel's
  // attributes, then its producer applies them again (no change) before
  // each batch of chunks. A new channel played from the start makes no
  // reset at all, so neither does this: the first chunks come from the
  // freshly opened decoder in both.
  if (start_ > 0 && !stage_.reset(start_, 0, settings_.tempo, settings_.pitch)) return false;
  stage_.setParams(settings_.tempo, settings_.pitch);
  return true;
}

int OfflineRender::read(int16_t* out, int frames) {
  // A channel scales by its gain, which sits at the volume when the volume
  // never changes, and the mixer adds that to silence and clips to 16 bits.
  const float gain = settings_.volume;
  int done = 0;
  while (done < frames) {
    if (offset_ >= chunk_.frames) {
      if (ended_) break;
      offset_ = 0;
      const bool more = stage_.produce(chunk_);
      if (!more || (chunk_.flags & Chunk::kEnd)) ended_ = true;
      continue;
    }
    const int n = std::min(frames - done, chunk_.frames - offset_);
    const float* in = chunk_.samples + 2 * offset_;
    int16_t* o = out + 2 * done;
    for (int i = 0; i < 2 * n; ++i) o[i] = toPcm16(in[i] * gain);
    offset_ += n;
    done += n;
  }
  return done;
}

int64_t OfflineRender::sourceDone() const {
  return std::clamp<int64_t>(range_->place() - start_, 0, end_ - start_);
}

uint64_t OfflineRender::expectedFrames() const {
  const double speed = 1.0 + static_cast<double>(settings_.tempo) / 100.0;
  const double frames =
      static_cast<double>(end_ - start_) * kOutputRate / source_->format.rate / speed;
  return static_cast<uint64_t>(frames + 0.5);
}

}  // namespace lentaro::audio
