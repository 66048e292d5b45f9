// MPEG audio frame headers and the layout of an MPEG file on disk: where the
// audio starts and ends once tags are cut off, whether it really is MPEG, and
// whether its format stays the same throughout.
//
// This is our own light parser; libmpg123 does the decoding. It exists so
// that a text file, random bytes or another format are never mistaken for
// MPEG (libmpg123 alone resyncs over almost anything), and so that a file
// stitched together from streams of different rates is recognised before its
// length is trusted. Pure functions over a FileWindow; no state kept.
#pragma once

#include <cstdint>
#include <vector>

#include "decoder_file.h"

namespace lentaro::audio::mpeg {

struct FrameHeader {
  int version = 0;  // 1 = MPEG-1, 2 = MPEG-2, 3 = MPEG-2.5
  int layer = 0;    // 1, 2 or 3
  int rate = 0;
  int channels = 0;
  int samples = 0;  // samples per channel in the frame
  int bytes = 0;    // whole frame, header included; 0 for free format
  int padding = 0;  // padding slot size in bytes when the padding bit is set
  bool crc = false;
  bool freeFormat = false;

  // Frames that can belong to one continuous stream: same version, layer and
  // rate, and both free format or neither.
  bool sameStream(const FrameHeader& o) const {
    return version == o.version && layer == o.layer && rate == o.rate && freeFormat == o.freeFormat;
  }
};

// Parses four header bytes; false when they are not a valid header.
bool parseHeader(const uint8_t* p, FrameHeader* h);

// The audio part of a file once leading ID3v2 and trailing ID3v1, APEv2 and
// Lyrics3 tags are removed. An ID3v2 tag that claims more bytes than the file
// holds is treated as damaged: only its 10-byte header is skipped.
struct Region {
  int64_t begin = 0;
  int64_t end = 0;
};
Region audioRegion(FileWindow& file);

// True when the file opens with the signature of another container (RIFF,
// AIFF, FLAC, Ogg, ...): sampled data inside them can by chance look like a
// run of MPEG frames, so they are never probed as MPEG.
bool otherContainer(FileWindow& file);

// A run of consecutive frames of one stream.
struct Segment {
  FrameHeader first;
  int64_t offset = 0;  // of the segment's first frame
  int64_t frames = 0;
};

struct Layout {
  Region region;  // begin is the first frame
  std::vector<Segment> segments;
  int64_t totalFrames = 0;
  int64_t tagFrames = -1;  // frame count from a Xing/Info header, -1 if none
  bool hasInfoTag = false;
  int encoderDelay = -1;  // samples the encoder put in front (LAME tag), -1 if unknown

  // True when the file changes rate, version or layer part-way.
  bool mixed() const;
};

// Finds the first point from which `minRun` frames follow one another
// exactly (fewer when they end exactly at the end of the audio); a point
// after junk must hold for twice as many. Searches at most `searchLimit`
// bytes into the region. Returns false when there is no such point: the file
// is not MPEG audio.
bool findStreamStart(FileWindow& file, const Region& region, int64_t searchLimit, int minRun,
                     int64_t* offset, FrameHeader* header);

// Walks every frame from `start` to the end of the region, resyncing over
// damage. A change of stream only counts once the new stream has held for a
// few frames, so a stray sync word in damaged data is not taken as one.
Layout walkFrames(FileWindow& file, const Region& region, int64_t start,
                  const FrameHeader& firstHeader);

}  // namespace lentaro::audio::mpeg
