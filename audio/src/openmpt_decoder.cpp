#include "openmpt_decoder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "lentaro/bass.h"
#include "library_openmpt.h"

namespace lentaro::audio {

namespace {

constexpr int64_t kMaxModuleBytes = 128 * 1024 * 1024;
// Longest song we render: anything longer is a module that never ends.
constexpr double kMaxSeconds = 4 * 3600.0;
constexpr long kSkipChunk = 1024;

class OpenmptDecoder final : public Decoder {
 public:
  OpenmptDecoder(const OpenmptLibrary& lib, openmpt_module* mod, int rate, int64_t length)
      : lib_(lib), mod_(mod), rate_(rate), length_(length) {}
  ~OpenmptDecoder() override { lib_.openmpt_module_destroy(mod_); }
  OpenmptDecoder(const OpenmptDecoder&) = delete;
  OpenmptDecoder& operator=(const OpenmptDecoder&) = delete;

  StreamFormat format() const override { return {rate_, 2}; }
  int64_t lengthFrames() const override { return length_; }

  long read(float* out, long maxFrames) override {
    const long want = static_cast<long>(std::min<int64_t>(maxFrames, length_ - pos_));
    if (want <= 0) return 0;
    long got = 0;
    while (got < want && !ended_) {
      const size_t n = lib_.openmpt_module_read_interleaved_float_stereo(
          mod_, rate_, static_cast<size_t>(want - got), out + got * 2);
      if (n == 0) ended_ = true;
      got += static_cast<long>(n);
    }
    // The song's reckoned duration and the rendered one can differ by a few
    // frames; the reckoned one is the length, so pad or cut to it.
    std::fill(out + got * 2, out + want * 2, 0.0f);
    pos_ += want;
    return want;
  }

  bool seek(int64_t frame) override {
    if (frame < 0 || frame > length_) return false;
    // libopenmpt lands on the row boundary nearest the time asked, which
    // may lie after it; step back until it lands at or before, then render
    // and drop the frames between to reach the exact frame.
    const double wanted = static_cast<double>(frame) / rate_;
    double back = 0.0;
    int64_t at = 0;
    for (int tries = 0;; ++tries) {
      const double landed =
          lib_.openmpt_module_set_position_seconds(mod_, std::max(0.0, wanted - back));
      at = static_cast<int64_t>(std::llround(landed * rate_));
      if (at <= frame || tries >= 12 || wanted - back <= 0.0) break;
      back = back == 0.0 ? 0.05 : back * 2;
    }
    if (at > frame)
      at = static_cast<int64_t>(
          std::llround(lib_.openmpt_module_set_position_seconds(mod_, 0.0) * rate_));
    ended_ = false;
    float skip[kSkipChunk * 2];
    while (at < frame && !ended_) {
      const long n = static_cast<long>(std::min<int64_t>(kSkipChunk, frame - at));
      const size_t r = lib_.openmpt_module_read_interleaved_float_stereo(
          mod_, rate_, static_cast<size_t>(n), skip);
      if (r == 0) ended_ = true;
      at += static_cast<int64_t>(r);
    }
    pos_ = frame;
    return true;
  }

 private:
  const OpenmptLibrary& lib_;
  openmpt_module* mod_;
  int rate_;
  int64_t length_;
  int64_t pos_ = 0;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> openOpenmptDecoder(const DecoderFile& file, int rate, int* error) {
  *error = BASS_ERROR_FORMAT;
  if (file.size() <= 0 || file.size() > kMaxModuleBytes) return nullptr;
  const OpenmptLibrary* lib = openmptLibrary();
  if (!lib) return nullptr;
  std::vector<uint8_t> data(static_cast<size_t>(file.size()));
  if (file.readAt(0, data.data(), static_cast<long>(data.size())) !=
      static_cast<long>(data.size())) {
    *error = BASS_ERROR_FILEOPEN;
    return nullptr;
  }
  const openmpt_module_initial_ctl ctls[] = {
      {"play.at_end", "stop"}, {"seek.sync_samples", "1"}, {nullptr, nullptr}};
  int err = 0;
  openmpt_module* mod = lib->openmpt_module_create_from_memory2(
      data.data(), data.size(), lib->openmpt_log_func_silent, nullptr,
      lib->openmpt_error_func_ignore, nullptr, &err, nullptr, ctls);
  if (!mod) return nullptr;
  lib->openmpt_module_set_repeat_count(mod, 0);
  const double seconds = lib->openmpt_module_get_duration_seconds(mod);
  if (!(seconds > 0.0) || seconds > kMaxSeconds) {
    lib->openmpt_module_destroy(mod);
    return nullptr;
  }
  const auto length = static_cast<int64_t>(std::llround(seconds * rate));
  if (length <= 0) {
    lib->openmpt_module_destroy(mod);
    return nullptr;
  }
  *error = 0;
  return std::make_unique<OpenmptDecoder>(*lib, mod, rate, length);
}

}  // namespace lentaro::audio
