#include "sndfile_decoder.h"

#include <algorithm>
#include <vector>

#include "decoder_fold.h"
#include "lentaro/bass.h"
#include "library_sndfile.h"

namespace lentaro::audio {

namespace {

constexpr long kChunkFrames = 4096;
// Longer than any Vorbis or Opus block.
constexpr int64_t kPrerollFrames = 8192;
constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;

// libsndfile reads through these so the descriptor stays ours: on a refused
// file it goes back to the caller unharmed.
struct VirtualFile {
  DecoderFile file;
  sf_count_t pos = 0;
};

sf_count_t vfLength(void* user) {
  return static_cast<VirtualFile*>(user)->file.size();
}

sf_count_t vfSeek(sf_count_t offset, int whence, void* user) {
  auto* v = static_cast<VirtualFile*>(user);
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target += v->pos;
  if (whence == SEEK_END) target += v->file.size();
  if (target < 0) return -1;
  v->pos = target;
  return target;
}

sf_count_t vfRead(void* ptr, sf_count_t count, void* user) {
  auto* v = static_cast<VirtualFile*>(user);
  const long got = v->file.readAt(v->pos, ptr, static_cast<long>(count));
  if (got <= 0) return 0;
  v->pos += got;
  return got;
}

sf_count_t vfWrite(const void*, sf_count_t, void*) {
  return 0;
}
sf_count_t vfTell(void* user) {
  return static_cast<VirtualFile*>(user)->pos;
}

SF_VIRTUAL_IO virtualIo() {
  SF_VIRTUAL_IO io{};
  io.get_filelen = vfLength;
  io.seek = vfSeek;
  io.read = vfRead;
  io.write = vfWrite;
  io.tell = vfTell;
  return io;
}

Seat seatOf(int position) {
  switch (position) {
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
      return Seat::Left;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
      return Seat::Right;
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER:
    case SF_CHANNEL_MAP_REAR_CENTER:
    case SF_CHANNEL_MAP_TOP_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
      return Seat::Centre;
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
      return Seat::RearLeft;
    case SF_CHANNEL_MAP_REAR_RIGHT:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
      return Seat::RearRight;
    case SF_CHANNEL_MAP_LFE:
      return Seat::Lfe;
    default:
      return Seat::Unknown;
  }
}

class SndfileDecoder final : public Decoder {
 public:
  explicit SndfileDecoder(DecoderFile&& file) { vf_.file = std::move(file); }
  ~SndfileDecoder() override {
    if (sf_) lib_->sf_close(sf_);
  }
  SndfileDecoder(const SndfileDecoder&) = delete;
  SndfileDecoder& operator=(const SndfileDecoder&) = delete;

  bool init();
  DecoderFile takeFile() { return std::move(vf_.file); }

  StreamFormat format() const override { return format_; }
  int64_t lengthFrames() const override { return length_; }
  long read(float* out, long maxFrames) override;
  bool seek(int64_t frame) override;

 private:
  VirtualFile vf_;
  SF_VIRTUAL_IO io_ = virtualIo();
  const SndfileLibrary* lib_ = nullptr;  // set by init(); never null once sf_ is open
  SNDFILE* sf_ = nullptr;
  int fileChannels_ = 0;
  StreamFormat format_;
  int64_t length_ = 0;
  int64_t pos_ = 0;
  bool exhausted_ = false;
  bool preroll_ = false;  // lossy: seeks land early and decode up to the place
  FoldWeights fold_;
  std::vector<float> scratch_;  // file-channel frames: awaiting the fold, or skipped
};

bool SndfileDecoder::init() {
  lib_ = sndfileLibrary();
  if (!lib_) return false;
  SF_INFO info{};
  sf_ = lib_->sf_open_virtual(&io_, SFM_READ, &info, &vf_);
  if (!sf_) return false;
  // Our own check decides what is MPEG; libsndfile would take almost anything.
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) return false;
  if (info.channels < 1 || info.samplerate < kMinRate || info.samplerate > kMaxRate) return false;
  if (info.frames <= 0 || info.frames == SF_COUNT_MAX || !info.seekable) return false;
  // Integer files scale to -1..1; float files are passed as they are.
  lib_->sf_command(sf_, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  fileChannels_ = info.channels;
  format_ = {info.samplerate, std::min(info.channels, 2)};
  length_ = info.frames;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  preroll_ = subtype == SF_FORMAT_VORBIS || subtype == SF_FORMAT_OPUS ||
             (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
  if (preroll_ || fileChannels_ > 2) {
    scratch_.resize(static_cast<size_t>(kChunkFrames * fileChannels_));
  }
  if (fileChannels_ > 2) {
    std::vector<int> map(static_cast<size_t>(fileChannels_), 0);
    std::vector<Seat> seats;
    if (lib_->sf_command(sf_, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                         static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
      for (int p : map) seats.push_back(seatOf(p));
    } else {
      seats = defaultSeats(fileChannels_);
    }
    fold_ = foldWeights(seats);
  }
  return true;
}

long SndfileDecoder::read(float* out, long maxFrames) {
  const long want = static_cast<long>(std::min<int64_t>(maxFrames, length_ - pos_));
  if (want <= 0) return 0;
  long got = 0;
  int stalls = 0;
  while (got < want && !exhausted_) {
    sf_count_t n = 0;
    if (fileChannels_ <= 2) {
      n = lib_->sf_readf_float(sf_, out + got * format_.channels, want - got);
    } else {
      n = lib_->sf_readf_float(sf_, scratch_.data(), std::min(want - got, kChunkFrames));
      if (n > 0) foldToStereo(fold_, scratch_.data(), out + got * 2, static_cast<long>(n));
    }
    if (n > 0) {
      got += static_cast<long>(n);
      stalls = 0;
    } else if (++stalls > 2) {
      exhausted_ = true;  // a damaged or cut-off file: the rest is silence
    }
  }
  if (got < want) std::fill(out + got * format_.channels, out + want * format_.channels, 0.0f);
  pos_ += want;
  return want;
}

bool SndfileDecoder::seek(int64_t frame) {
  if (frame < 0 || frame > length_) return false;
  // Lossy codecs restart cold after libsndfile's seek: the first block
  // decodes without its overlap. Landing early and decoding up to the place
  // gives exactly the samples a straight decode gives.
  const int64_t preroll = preroll_ ? std::min<int64_t>(frame, kPrerollFrames) : 0;
  const sf_count_t r = lib_->sf_seek(sf_, frame - preroll, SEEK_SET);
  exhausted_ = r != frame - preroll;
  for (int64_t left = preroll; left > 0 && !exhausted_;) {
    const sf_count_t n =
        lib_->sf_readf_float(sf_, scratch_.data(), std::min<int64_t>(left, kChunkFrames));
    if (n <= 0) exhausted_ = true;
    left -= n;
  }
  pos_ = frame;
  return true;
}

}  // namespace

std::unique_ptr<Decoder> openSndfileDecoder(DecoderFile& file, int* error) {
  *error = BASS_ERROR_FORMAT;
  auto dec = std::make_unique<SndfileDecoder>(std::move(file));
  if (!dec->init()) {
    file = dec->takeFile();
    return nullptr;
  }
  *error = 0;
  return dec;
}

}  // namespace lentaro::audio
