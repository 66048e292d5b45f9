#include "mpg123_decoder.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "lentaro/bass.h"
#include "library_mpg123.h"
#include "mpg123_frames.h"

namespace lentaro::audio {

namespace {

// How far past the tags we look for the first frame. Generous, because some
// files carry junk before the audio; a text file costs one pass over this.
constexpr int64_t kSearchLimit = 512 * 1024;
// Consecutive frames that make a file MPEG audio.
constexpr int kMinRun = 4;
// mpg123_read errors in a row after which the rest is treated as lost.
constexpr int kMaxErrors = 64;
constexpr long kPreFrames = 8;
constexpr long kScratchFrames = 4096;
// What libmpg123 adds to the encoder's delay in gapless mode.
constexpr int kDecoderDelay = 529;

// The byte range libmpg123 sees: the audio between the tags. Seeks and reads
// are relative to region.begin, so libmpg123 never meets a tag, a damaged
// one included. libmpg123 reads frame by frame, a few hundred bytes at a
// time; the buffer turns that into one system call per 64 KiB, which makes
// the open-time scan of a long file several times faster.
struct RegionReader {
  static constexpr long kBufferBytes = 64 * 1024;
  DecoderFile file;
  int64_t begin = 0;
  int64_t end = 0;
  int64_t pos = 0;  // relative to begin
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kBufferBytes);
  int64_t bufferAt = 0;  // relative to begin
  long bufferBytes = 0;
};

ssize_t regionRead(void* handle, void* buf, size_t n) {
  auto* r = static_cast<RegionReader*>(handle);
  const int64_t left = r->end - r->begin - r->pos;
  if (left <= 0) return 0;
  const long want = static_cast<long>(std::min<int64_t>(left, static_cast<int64_t>(n)));
  if (want >= RegionReader::kBufferBytes) {
    const long got = r->file.readAt(r->begin + r->pos, buf, want);
    if (got < 0) return -1;
    r->pos += got;
    return got;
  }
  if (r->pos < r->bufferAt || r->pos >= r->bufferAt + r->bufferBytes) {
    const long got =
        r->file.readAt(r->begin + r->pos, r->buffer.data(),
                       static_cast<long>(std::min<int64_t>(left, RegionReader::kBufferBytes)));
    if (got < 0) return -1;
    r->bufferAt = r->pos;
    r->bufferBytes = got;
    if (got == 0) return 0;
  }
  const long offset = static_cast<long>(r->pos - r->bufferAt);
  const long take = std::min(want, r->bufferBytes - offset);
  std::memcpy(buf, r->buffer.data() + offset, static_cast<size_t>(take));
  r->pos += take;
  return take;
}

off_t regionSeek(void* handle, off_t offset, int whence) {
  auto* r = static_cast<RegionReader*>(handle);
  const int64_t size = r->end - r->begin;
  int64_t target = offset;
  if (whence == SEEK_CUR) target += r->pos;
  if (whence == SEEK_END) target += size;
  if (target < 0 || target > size) return -1;
  r->pos = target;
  return static_cast<off_t>(target);
}

// libmpg123, opened and initialised by the first MP3 file; null when it is
// not installed.
const Mpg123Library* library() {
  static const Mpg123Library* const lib = [] {
    const Mpg123Library* l = mpg123Library();
    if (l) l->mpg123_init();
    return l;
  }();
  return lib;
}

class Mpg123Decoder final : public Decoder {
 public:
  Mpg123Decoder(DecoderFile&& file, const mpeg::Layout& layout) {
    reader_.file = std::move(file);
    reader_.begin = layout.region.begin;
    reader_.end = layout.region.end;
  }
  ~Mpg123Decoder() override {
    if (mh_) lib_->mpg123_delete(mh_);
  }
  Mpg123Decoder(const Mpg123Decoder&) = delete;
  Mpg123Decoder& operator=(const Mpg123Decoder&) = delete;

  bool init(const mpeg::Layout& layout);
  // Gives the file back after a failed init so another decoder may try it.
  DecoderFile takeFile() { return std::move(reader_.file); }

  StreamFormat format() const override { return format_; }
  int64_t lengthFrames() const override { return length_; }
  long read(float* out, long maxFrames) override;
  bool seek(int64_t frame) override;

 private:
  long decode(float* out, long frames);
  // Reopens the stream at its start with fresh decoder state.
  bool restart();

  RegionReader reader_;
  const Mpg123Library* lib_ = nullptr;  // set by init(); never null once mh_ is made
  mpg123_handle* mh_ = nullptr;
  StreamFormat format_;
  int64_t length_ = 0;
  int64_t pos_ = 0;
  // Set when libmpg123 has nothing more to give before length_: the rest of
  // the stream is delivered as silence so the length holds.
  bool exhausted_ = false;
  bool mixed_ = false;          // several rates: seeks decode forward
  int64_t skip_ = 0;            // leading samples trimmed by us, not by libmpg123
  std::vector<float> scratch_;  // frames decoded only to be skipped
};

bool Mpg123Decoder::init(const mpeg::Layout& layout) {
  lib_ = library();
  if (!lib_) return false;
  int err = MPG123_OK;
  mh_ = lib_->mpg123_new(nullptr, &err);
  if (!mh_) return false;

  // The output format: the first stream's, or for a file stitched from
  // several the highest rate and most channels among them, so nothing is
  // lost to downsampling. libmpg123 converts everything else to it.
  int rate = layout.segments.front().first.rate;
  int channels = layout.segments.front().first.channels;
  if (layout.mixed()) {
    for (const auto& s : layout.segments) {
      rate = std::max(rate, s.first.rate);
      channels = std::max(channels, s.first.channels);
    }
  }
  // The encoder's gapless tag describes only the stream it wrote; frames
  // beyond its count mean more audio was appended, which trimming would cut.
  const bool tagCoversFile = layout.tagFrames < 0 || layout.totalFrames <= layout.tagFrames + 1;
  // A cut-off file: libmpg123 gives up gapless decoding when the stream ends
  // before the tag's end, so the encoder's delay (plus the decoder's own 529
  // samples) is skipped here instead.
  const bool truncated = !layout.mixed() && layout.tagFrames >= 0 &&
                         layout.totalFrames < layout.tagFrames + 1 && layout.encoderDelay >= 0;
  if (truncated) skip_ = layout.encoderDelay + kDecoderDelay;
  long flags = MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_AUTO_RESAMPLE;
  if (tagCoversFile && !layout.mixed() && !truncated) {
    flags |= MPG123_GAPLESS;
  } else {
    flags |= MPG123_IGNORE_STREAMLENGTH;
  }
  if (lib_->mpg123_param(mh_, MPG123_FLAGS, flags, 0) != MPG123_OK) return false;
  lib_->mpg123_param(mh_, MPG123_RESYNC_LIMIT, -1, 0);
  lib_->mpg123_param(mh_, MPG123_INDEX_SIZE, -1000, 0);
  // After a seek, layer 3 needs the frames whose bit reservoir and overlap
  // the target frame draws on. At the smallest frame sizes the reservoir
  // reaches back about six frames; decoding eight makes a seek land on
  // exactly the samples a straight decode gives.
  lib_->mpg123_param(mh_, MPG123_PREFRAMES, kPreFrames, 0);
  if (layout.mixed()) lib_->mpg123_param(mh_, MPG123_FORCE_RATE, rate, 0);
  if (lib_->mpg123_format_none(mh_) != MPG123_OK ||
      lib_->mpg123_format(mh_, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO,
                          MPG123_ENC_FLOAT_32) != MPG123_OK) {
    return false;
  }
  if (lib_->mpg123_replace_reader_handle(mh_, regionRead, regionSeek, nullptr) != MPG123_OK ||
      lib_->mpg123_open_handle(mh_, &reader_) != MPG123_OK) {
    return false;
  }
  long gotRate = 0;
  int gotChannels = 0;
  int encoding = 0;
  if (lib_->mpg123_getformat(mh_, &gotRate, &gotChannels, &encoding) != MPG123_OK ||
      gotRate != rate || gotChannels != channels || encoding != MPG123_ENC_FLOAT_32) {
    return false;
  }
  format_ = {rate, channels};

  mixed_ = layout.mixed();
  if (!mixed_) {
    if (lib_->mpg123_scan(mh_) != MPG123_OK) return false;
    const off_t len = lib_->mpg123_length(mh_);
    if (len <= 0) return false;
    if (len <= skip_) return false;
    length_ = len - skip_;
    if (skip_ > 0 && lib_->mpg123_seek(mh_, static_cast<off_t>(skip_), SEEK_SET) != skip_) {
      return false;
    }
  } else {
    // libmpg123 reckons lengths and seek targets at one rate, which a file
    // of several rates breaks; count what it really gives instead.
    scratch_.resize(static_cast<size_t>(kScratchFrames * channels));
    int64_t total = 0;
    for (;;) {
      const long n = decode(scratch_.data(), kScratchFrames);
      if (n <= 0) break;
      total += n;
    }
    length_ = total;
    if (length_ <= 0 || !restart()) return false;
  }
  pos_ = 0;
  exhausted_ = false;
  return true;
}

// Decodes up to `frames` frames from libmpg123; returns fewer only when it
// has no more (and then sets exhausted_).
long Mpg123Decoder::decode(float* out, long frames) {
  const size_t frameBytes = sizeof(float) * static_cast<size_t>(format_.channels);
  auto* dst = reinterpret_cast<unsigned char*>(out);
  size_t have = 0;
  const size_t want = frameBytes * static_cast<size_t>(frames);
  int errors = 0;
  while (have < want && !exhausted_) {
    size_t done = 0;
    const int r = lib_->mpg123_read(mh_, dst + have, want - have, &done);
    have += done;
    if (r == MPG123_DONE) {
      exhausted_ = true;
    } else if (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
      if (done == 0 && r == MPG123_OK && ++errors > kMaxErrors) exhausted_ = true;
    } else if (++errors > kMaxErrors) {
      exhausted_ = true;
    }
  }
  return static_cast<long>(have / frameBytes);
}

long Mpg123Decoder::read(float* out, long maxFrames) {
  const long want = static_cast<long>(std::min<int64_t>(maxFrames, length_ - pos_));
  if (want <= 0) return 0;
  const long got = decode(out, want);
  // Damaged frames can decode far out of range; keep the contract's -1..1.
  const long samples = got * format_.channels;
  for (long i = 0; i < samples; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
  if (got < want) {
    std::fill(out + got * format_.channels, out + want * format_.channels, 0.0f);
  }
  pos_ += want;
  return want;
}

bool Mpg123Decoder::restart() {
  reader_.pos = 0;
  exhausted_ = false;
  pos_ = 0;
  return lib_->mpg123_open_handle(mh_, &reader_) == MPG123_OK;
}

bool Mpg123Decoder::seek(int64_t frame) {
  if (frame < 0 || frame > length_) return false;
  if (mixed_) {
    // Exact only by decoding up to the place, from the start when it lies
    // behind us. Costs up to one decode of the file; such files are rare.
    if (frame < pos_ && !restart()) {
      exhausted_ = true;
      pos_ = frame;
      return true;
    }
    while (pos_ < frame && !exhausted_) {
      const long n = decode(scratch_.data(),
                            static_cast<long>(std::min<int64_t>(kScratchFrames, frame - pos_)));
      pos_ += n;
    }
    pos_ = frame;
    return true;
  }
  const off_t r = lib_->mpg123_seek(mh_, static_cast<off_t>(frame + skip_), SEEK_SET);
  // A place libmpg123 cannot reach lies in the silent tail of a stream that
  // ended early; reads from there give silence.
  exhausted_ = r != static_cast<off_t>(frame + skip_);
  pos_ = frame;
  return true;
}

}  // namespace

std::unique_ptr<Decoder> openMpegDecoder(DecoderFile& file, int* error) {
  *error = BASS_ERROR_FORMAT;
  FileWindow window(file);
  if (mpeg::otherContainer(window)) return nullptr;
  const mpeg::Region region = mpeg::audioRegion(window);
  int64_t start = 0;
  mpeg::FrameHeader header;
  if (!mpeg::findStreamStart(window, region, kSearchLimit, kMinRun, &start, &header)) {
    return nullptr;
  }
  const mpeg::Layout layout = mpeg::walkFrames(window, region, start, header);
  if (layout.segments.empty()) return nullptr;
  auto dec = std::make_unique<Mpg123Decoder>(std::move(file), layout);
  if (!dec->init(layout)) {
    file = dec->takeFile();
    return nullptr;
  }
  *error = 0;
  return dec;
}

}  // namespace lentaro::audio
