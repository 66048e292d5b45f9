#include "decoder_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "lentaro/bass.h"

namespace lentaro::audio {

DecoderFile::DecoderFile(DecoderFile&& o) noexcept
    : fd_(std::exchange(o.fd_, -1)), size_(std::exchange(o.size_, 0)) {}

DecoderFile& DecoderFile::operator=(DecoderFile&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(o.fd_, -1);
    size_ = std::exchange(o.size_, 0);
  }
  return *this;
}

DecoderFile::~DecoderFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool DecoderFile::open(const std::string& path, int* error) {
  *error = BASS_ERROR_FILEOPEN;
  if (path.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  // A folder opens fine for reading on Linux; only regular files are audio.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  // Reading one byte catches descriptors that open but cannot be read.
  uint8_t probe = 0;
  if (st.st_size > 0 && ::pread(fd, &probe, 1, 0) < 0) {
    ::close(fd);
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  size_ = st.st_size;
  *error = 0;
  return true;
}

long DecoderFile::readAt(int64_t offset, void* out, long n) const {
  if (fd_ < 0 || offset < 0) return -1;
  long total = 0;
  auto* dst = static_cast<uint8_t*>(out);
  while (total < n) {
    const ssize_t r = ::pread(fd_, dst + total, static_cast<size_t>(n - total), offset + total);
    if (r < 0) {
      if (errno == EINTR) continue;
      return total > 0 ? total : -1;
    }
    if (r == 0) break;
    total += r;
  }
  return total;
}

int DecoderFile::release() {
  size_ = 0;
  return std::exchange(fd_, -1);
}

namespace {
constexpr long kWindowBytes = 256 * 1024;
}

FileWindow::FileWindow(const DecoderFile& file, int64_t limit)
    : file_(file), size_(limit >= 0 && limit < file.size() ? limit : file.size()) {}

const uint8_t* FileWindow::at(int64_t offset, long n) {
  if (offset < 0 || n < 0 || offset + n > size_) return nullptr;
  if (offset >= bufOffset_ && offset + n <= bufOffset_ + bufBytes_) {
    return buf_.data() + (offset - bufOffset_);
  }
  const long want = n > kWindowBytes ? n : kWindowBytes;
  buf_.resize(static_cast<size_t>(want));
  const long got = file_.readAt(offset, buf_.data(), want);
  bufOffset_ = offset;
  bufBytes_ = got > 0 ? got : 0;
  if (bufBytes_ < n) return nullptr;
  return buf_.data();
}

}  // namespace lentaro::audio
