#include "mpg123_frames.h"

#include <cstring>

namespace lentaro::audio::mpeg {

namespace {

// Bit rates in kbit/s by [version is MPEG-1 ? 0 : 1][layer - 1][index].
constexpr int kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

constexpr int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// Longest free-format frame we look for: 640 kbit/s at 8 kHz, with room.
constexpr int kMaxFreeFrame = 8192;
// Frames a new stream must hold before a change of stream is believed.
constexpr int kConfirmRun = 3;

uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint32_t le32(const uint8_t* p) {
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// A frame's length in bytes; for free format `freeBase` is the length
// without padding, found from the distance to the next frame.
int frameBytes(const FrameHeader& h, int freeBase) {
  return h.freeFormat ? (freeBase > 0 ? freeBase + h.padding : 0) : h.bytes;
}

struct Chain {
  int frames = 0;  // frames confirmed by a valid successor (or the end)
  bool reachedEnd = false;
  int freeBase = 0;
};

// Follows frames from `offset` for up to `want` frames of the same stream.
Chain followWithBase(FileWindow& file, int64_t end, int64_t offset, const FrameHeader& first,
                     int freeBase, int want) {
  Chain c;
  c.freeBase = freeBase;
  int64_t pos = offset;
  FrameHeader cur = first;
  while (c.frames < want) {
    const int size = frameBytes(cur, freeBase);
    if (size <= 4) break;
    const int64_t next = pos + size;
    if (next == end) {
      ++c.frames;
      c.reachedEnd = true;
      break;
    }
    const uint8_t* p = next + 4 <= end ? file.at(next, 4) : nullptr;
    FrameHeader h;
    if (!p || !parseHeader(p, &h) || !h.sameStream(first)) break;
    ++c.frames;
    pos = next;
    cur = h;
  }
  return c;
}

Chain follow(FileWindow& file, int64_t end, int64_t offset, const FrameHeader& first, int want) {
  if (!first.freeFormat) return followWithBase(file, end, offset, first, 0, want);
  // Free format: the frame length is the distance to the next header of the
  // same stream. A sync pattern inside the frame's data can fool the first
  // guess, so each candidate is tried until one chains.
  Chain best;
  for (int d = 16; d <= kMaxFreeFrame && offset + d + 4 <= end; ++d) {
    const uint8_t* p = file.at(offset + d, 4);
    if (!p) break;
    FrameHeader h;
    if (p[0] != 0xFF || !parseHeader(p, &h) || !h.sameStream(first)) continue;
    const int base = d - first.padding;
    if (base <= 4) continue;
    Chain c = followWithBase(file, end, offset, first, base, want);
    if (c.frames >= want) return c;
    if (c.frames > best.frames) best = c;
  }
  return best;
}

bool chainHolds(const Chain& c, int want) {
  return c.frames >= want || (c.reachedEnd && c.frames >= 2);
}

}  // namespace

bool parseHeader(const uint8_t* p, FrameHeader* h) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  if ((p[3] & 3) == 2) return false;  // reserved emphasis
  h->version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 3;
  h->layer = 4 - layerBits;
  h->rate = kRates[h->version - 1][rateIndex];
  h->channels = (p[3] >> 6) == 3 ? 1 : 2;
  h->crc = (p[1] & 1) == 0;
  h->freeFormat = bitrateIndex == 0;
  const bool padded = (p[2] >> 1) & 1;
  const int kbps = kBitrates[h->version == 1 ? 0 : 1][h->layer - 1][bitrateIndex];
  if (h->layer == 1) {
    h->samples = 384;
    h->padding = padded ? 4 : 0;
    h->bytes = h->freeFormat ? 0 : (12 * kbps * 1000 / h->rate) * 4 + h->padding;
  } else {
    const bool half = h->layer == 3 && h->version != 1;
    h->samples = half ? 576 : 1152;
    h->padding = padded ? 1 : 0;
    h->bytes = h->freeFormat ? 0 : (half ? 72 : 144) * kbps * 1000 / h->rate + h->padding;
  }
  return true;
}

Region audioRegion(FileWindow& file) {
  Region r{0, file.size()};
  // Leading ID3v2 tags; there can be more than one.
  for (int i = 0; i < 8; ++i) {
    const uint8_t* p = file.at(r.begin, 10);
    if (!p || std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF) break;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80) break;
    const int64_t body = (int64_t{p[6]} << 21) | (int64_t{p[7]} << 14) | (p[8] << 7) | p[9];
    const int64_t total = 10 + body + ((p[5] & 0x10) ? 10 : 0);
    if (r.begin + total > r.end) {
      r.begin += 10;
      break;
    }
    r.begin += total;
  }
  // Trailing tags, in whatever order taggers stacked them.
  for (int i = 0; i < 8; ++i) {
    const int64_t len = r.end - r.begin;
    const uint8_t* p = nullptr;
    if (len >= 128 && (p = file.at(r.end - 128, 3)) && std::memcmp(p, "TAG", 3) == 0) {
      r.end -= 128;
      continue;
    }
    if (len >= 32 && (p = file.at(r.end - 32, 32)) && std::memcmp(p, "APETAGEX", 8) == 0) {
      const int64_t total = int64_t{le32(p + 12)} + ((le32(p + 20) >> 31) ? 32 : 0);
      if (total >= 32 && total <= len) {
        r.end -= total;
        continue;
      }
    }
    if (len >= 15 && (p = file.at(r.end - 15, 15)) && std::memcmp(p + 6, "LYRICS200", 9) == 0) {
      int64_t body = 0;
      bool digits = true;
      for (int k = 0; k < 6; ++k) {
        if (p[k] < '0' || p[k] > '9') digits = false;
        body = body * 10 + (p[k] - '0');
      }
      if (digits && body + 15 <= len) {
        r.end -= body + 15;
        continue;
      }
    }
    break;
  }
  return r;
}

bool otherContainer(FileWindow& file) {
  static const char* const kMagic[] = {"RIFF", "RIFX", "RF64", "FORM", "fLaC", "OggS",
                                       "caff", "wvpk", ".snd", "MThd", "BW64", "riff"};
  const uint8_t* p = file.at(0, 4);
  if (!p) return false;
  for (const char* m : kMagic) {
    if (std::memcmp(p, m, 4) == 0) return true;
  }
  return false;
}

bool Layout::mixed() const {
  return segments.size() > 1;
}

bool findStreamStart(FileWindow& file, const Region& region, int64_t searchLimit, int minRun,
                     int64_t* offset, FrameHeader* header) {
  const int64_t stop =
      region.begin + searchLimit < region.end ? region.begin + searchLimit : region.end;
  for (int64_t pos = region.begin; pos + 4 <= stop; ++pos) {
    const uint8_t* p = file.at(pos, 4);
    if (!p) return false;
    FrameHeader h;
    if (p[0] != 0xFF || !parseHeader(p, &h)) continue;
    const int want = pos == region.begin ? minRun : 2 * minRun;
    if (chainHolds(follow(file, region.end, pos, h, want), want)) {
      *offset = pos;
      *header = h;
      return true;
    }
  }
  return false;
}

Layout walkFrames(FileWindow& file, const Region& region, int64_t start,
                  const FrameHeader& firstHeader) {
  Layout out;
  out.region = {start, region.end};

  // A Xing/Info header sits in the first layer-3 frame, after the side info.
  if (firstHeader.layer == 3) {
    const int side = firstHeader.version == 1 ? (firstHeader.channels == 1 ? 17 : 32)
                                              : (firstHeader.channels == 1 ? 9 : 17);
    const int64_t at = start + 4 + (firstHeader.crc ? 2 : 0) + side;
    const uint8_t* p = file.at(at, 12);
    if (p && (std::memcmp(p, "Xing", 4) == 0 || std::memcmp(p, "Info", 4) == 0)) {
      out.hasInfoTag = true;
      const uint32_t flags = be32(p + 4);
      if (flags & 1) out.tagFrames = be32(p + 8);
      // The LAME extension follows the optional fields; its delay is 12 bits
      // at byte 21.
      const int64_t lame = at + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) +
                           ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
      const uint8_t* q = file.at(lame, 24);
      if (q && (std::memcmp(q, "LAME", 4) == 0 || std::memcmp(q, "Lavc", 4) == 0 ||
                std::memcmp(q, "Lavf", 4) == 0)) {
        out.encoderDelay = (q[21] << 4) | (q[22] >> 4);
      }
    }
  }

  Segment seg{firstHeader, start, 0};
  int freeBase =
      firstHeader.freeFormat ? follow(file, region.end, start, firstHeader, 1).freeBase : 0;
  int64_t pos = start;
  while (pos + 4 <= region.end) {
    const uint8_t* p = file.at(pos, 4);
    FrameHeader h;
    if (p && parseHeader(p, &h)) {
      if (h.sameStream(seg.first)) {
        const int size = frameBytes(h, freeBase);
        if (size > 4 && pos + size <= region.end) {
          ++seg.frames;
          pos += size;
          continue;
        }
        if (size > 4) break;  // a cut-off last frame
      } else {
        const Chain c = follow(file, region.end, pos, h, kConfirmRun);
        if (chainHolds(c, kConfirmRun)) {
          if (seg.frames > 0) out.segments.push_back(seg);
          seg = Segment{h, pos, 0};
          freeBase = c.freeBase;
          continue;
        }
      }
    }
    // Damaged data: look for the next point where frames follow again.
    int64_t next = 0;
    FrameHeader nh;
    if (!findStreamStart(file, Region{pos + 1, region.end}, region.end, kConfirmRun, &next, &nh)) {
      break;
    }
    pos = next;
    if (!nh.sameStream(seg.first)) {
      if (seg.frames > 0) out.segments.push_back(seg);
      seg = Segment{nh, pos, 0};
      freeBase = nh.freeFormat ? follow(file, region.end, pos, nh, 1).freeBase : 0;
    }
  }
  if (seg.frames > 0) out.segments.push_back(seg);
  for (const Segment& s : out.segments) out.totalFrames += s.frames;
  return out;
}

}  // namespace lentaro::audio::mpeg
