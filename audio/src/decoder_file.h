// The file under a decoder: an owned descriptor with its size, and a window
// that buffers reads for the header parsers.
//
// Threads: one thread at a time, like the decoder that owns it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lentaro::audio {

class DecoderFile {
 public:
  DecoderFile() = default;
  DecoderFile(const DecoderFile&) = delete;
  DecoderFile& operator=(const DecoderFile&) = delete;
  DecoderFile(DecoderFile&& o) noexcept;
  DecoderFile& operator=(DecoderFile&& o) noexcept;
  ~DecoderFile();

  // Opens a regular file for reading. On failure returns false and sets
  // *error to BASS_ERROR_FILEOPEN (missing, unreadable, a folder, ...).
  bool open(const std::string& path, int* error);

  int fd() const { return fd_; }
  int64_t size() const { return size_; }

  // Reads up to n bytes at offset; returns the bytes read, 0 at or past the
  // end, -1 on an I/O error. Retries interrupted reads.
  long readAt(int64_t offset, void* out, long n) const;

  // Gives up the descriptor to the caller (who must close it).
  int release();

 private:
  int fd_ = -1;
  int64_t size_ = 0;
};

// Random access to a file's bytes through one buffered chunk. Returns null
// when the requested bytes are not all inside the file.
class FileWindow {
 public:
  explicit FileWindow(const DecoderFile& file, int64_t limit = -1);
  const uint8_t* at(int64_t offset, long n);
  int64_t size() const { return size_; }

 private:
  const DecoderFile& file_;
  int64_t size_;
  std::vector<uint8_t> buf_;
  int64_t bufOffset_ = 0;
  long bufBytes_ = 0;
};

}  // namespace lentaro::audio
