#include "platform/cfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "platform/cexception.h"

CFile::CFile(const std::string& path, unsigned flags) {
  if (!Open(path, flags)) {
    const int err = errno;
    throw CFileException(path, err, "cannot open '" + path + "': " + std::strerror(err));
  }
}

CFile::~CFile() {
  if (fp_) std::fclose(fp_);
}

bool CFile::Open(const std::string& path, unsigned flags) {
  Close();
  fp_ = std::fopen(path.c_str(), (flags & modeWrite) ? "wb" : "rb");
  if (!fp_) return false;
  // The archive above keeps its own buffer and moves whole buffers or whole
  // rows: a second buffer in stdio would only split them into extra copies
  // and system calls.
  std::setvbuf(fp_, nullptr, _IONBF, 0);
  path_ = path;
  return true;
}

bool CFile::OpenDescriptor(int fd, unsigned flags) {
  Close();
  fp_ = ::fdopen(fd, (flags & modeWrite) ? "wb" : "rb");
  if (!fp_) return false;
  std::setvbuf(fp_, nullptr, _IONBF, 0);
  path_ = "file descriptor " + std::to_string(fd);
  return true;
}

void CFile::Close() {
  if (fp_) {
    std::fclose(fp_);
    fp_ = nullptr;
  }
}

std::size_t CFile::Read(void* buffer, std::size_t count) {
  if (!fp_ || count == 0) return 0;
  return std::fread(buffer, 1, count, fp_);
}

void CFile::Write(const void* buffer, std::size_t count) {
  if (count == 0) return;
  if (!fp_ || std::fwrite(buffer, 1, count, fp_) != count) {
    const int err = fp_ ? errno : EBADF;
    throw CFileException(path_, err, "cannot write '" + path_ + "': " + std::strerror(err));
  }
}

void CFile::Flush() {
  if (fp_ && std::fflush(fp_) != 0) {
    const int err = errno;
    throw CFileException(path_, err, "cannot flush '" + path_ + "': " + std::strerror(err));
  }
}

int64_t CFile::GetLength() const {
  if (!fp_) return -1;
  const long here = std::ftell(fp_);
  if (here < 0 || std::fseek(fp_, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(fp_);
  std::fseek(fp_, here, SEEK_SET);
  return end;
}

int64_t CFile::GetPosition() const { return fp_ ? std::ftell(fp_) : -1; }

int64_t CFile::bytesRemaining() const {
  const int64_t len = GetLength(), pos = GetPosition();
  if (len < 0 || pos < 0) return -1;
  return std::max<int64_t>(0, len - pos);
}

void CFile::syncToDisk() {
  Flush();
  if (fp_ && ::fsync(fileno(fp_)) != 0) {
    const int err = errno;
    throw CFileException(path_, err, "cannot sync '" + path_ + "': " + std::strerror(err));
  }
}

CMemFile::CMemFile(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  data_ = static_cast<uint8_t*>(std::malloc(bytes.size()));
  if (!data_) throw std::bad_alloc();
  std::memcpy(data_, bytes.data(), bytes.size());
  size_ = capacity_ = bytes.size();
}

CMemFile::~CMemFile() { std::free(data_); }

std::size_t CMemFile::Read(void* buffer, std::size_t count) {
  const std::size_t n = std::min(count, size_ - pos_);
  if (n) std::memcpy(buffer, data_ + pos_, n);
  pos_ += n;
  return n;
}

void CMemFile::Write(const void* buffer, std::size_t count) {
  if (count == 0) return;
  if (count > SIZE_MAX - pos_) throw std::bad_alloc();
  const std::size_t end = pos_ + count;
  if (end > capacity_) {
    // Doubling keeps the number of growths logarithmic.
    std::size_t want = std::max<std::size_t>(capacity_ < SIZE_MAX / 2 ? capacity_ * 2 : SIZE_MAX, 1u << 16);
    want = std::max(want, end);
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, want));
    if (!grown) throw std::bad_alloc();
    data_ = grown;
    capacity_ = want;
  }
  std::memcpy(data_ + pos_, buffer, count);
  pos_ = end;
  if (end > size_) size_ = end;
}
