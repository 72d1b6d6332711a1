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
#include "platform/plane_arena.h"

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

namespace {
// From this capacity on the bytes live in a page mapping. AddressSanitizer
// builds keep them on malloc, whose blocks it guards against overruns.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kPageBlock = SIZE_MAX / 2;
#else
constexpr std::size_t kPageBlock = megcxc::PlaneArena::kChunkBytes;
#endif
}  // namespace

CMemFile::CMemFile(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  if (!reserve(bytes.size())) throw std::bad_alloc();
  std::memcpy(data_, bytes.data(), bytes.size());
  size_ = bytes.size();
}

CMemFile::~CMemFile() {
  if (mapped_) megcxc::unmapPageBlock(data_, capacity_);
  else std::free(data_);
}

bool CMemFile::reserve(std::size_t bytes) {
  if (bytes <= capacity_) return true;
  // Doubling keeps the number of growths logarithmic.
  std::size_t want = std::max<std::size_t>(capacity_ < SIZE_MAX / 2 ? capacity_ * 2 : SIZE_MAX, 1u << 16);
  want = std::max(want, bytes);
  if (want < kPageBlock) {
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, want));
    if (!grown) return false;
    data_ = grown;
    capacity_ = want;
    return true;
  }
  const std::size_t page = megcxc::PlaneArena::kChunkBytes;
  if (want > SIZE_MAX - page) return false;
  want = (want + page - 1) / page * page;
  if (mapped_) {
    void* grown = megcxc::growPageBlock(data_, capacity_, want);
    if (!grown) return false;
    data_ = static_cast<uint8_t*>(grown);
  } else {
    // From a malloc block (at most 2 MiB) to pages: one small copy.
    auto* pages = static_cast<uint8_t*>(megcxc::mapPageBlock(want));
    if (!pages) return false;
    if (size_) std::memcpy(pages, data_, size_);
    std::free(data_);
    data_ = pages;
    mapped_ = true;
  }
  capacity_ = want;
  return true;
}

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
  if (!reserve(end)) throw std::bad_alloc();
  std::memcpy(data_ + pos_, buffer, count);
  pos_ = end;
  if (end > size_) size_ = end;
}

const uint8_t* CMemFile::takeUnread(std::size_t& bytes) {
  bytes = size_ - pos_;
  const uint8_t* at = data_ ? data_ + pos_ : nullptr;
  pos_ = size_;
  return at;
}

uint8_t* CMemFile::writeSpace(std::size_t least, std::size_t& bytes) {
  bytes = 0;
  if (least > SIZE_MAX - pos_ || !reserve(pos_ + least)) return nullptr;
  bytes = capacity_ - pos_;
  return data_ + pos_;
}

void CMemFile::commitWrite(std::size_t n) {
  pos_ += n;
  if (pos_ > size_) size_ = pos_;
}
