#include "platform/cfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <memory>
#include <system_error>
#include <unistd.h>
#include <utility>

#include "platform/cexception.h"
#include "platform/file_pipeline.h"
#include "platform/plane_arena.h"

namespace {
// Blocks the reading worker keeps ready, buffers the writing one queues.
constexpr std::size_t kReadDepth = 2;
constexpr std::size_t kWriteDepth = 2;

// A worker, or null when no thread or memory can be had for it: the file
// then does its system calls on the calling thread.
template <class Worker, class... Args>
std::unique_ptr<Worker> startWorker(Args... args) {
  try {
    return std::make_unique<Worker>(args...);
  } catch (const std::system_error&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
}  // namespace

// Out of line: the workers' types are complete only here.
CFile::CFile() = default;

CFile::CFile(const std::string& path, unsigned flags) {
  if (!Open(path, flags)) {
    const int err = errno;
    throw CFileException(path, err, "cannot open '" + path + "': " + std::strerror(err));
  }
}

CFile::~CFile() {
  // The workers use the descriptor: they stop (the writer after writing
  // what it was given) before it closes.
  ahead_.reset();
  behind_.reset();
  if (fp_) std::fclose(fp_);
}

void CFile::setPipeline(Pipeline mode, std::size_t blockBytes) {
  pipeline_ = mode;
  readBlockBytes_ = blockBytes == 0 ? kReadBlockBytes : std::max<std::size_t>(blockBytes, 64);
}

bool CFile::Open(const std::string& path, unsigned flags) {
  Close();
  fp_ = std::fopen(path.c_str(), (flags & modeWrite) ? "wb" : "rb");
  if (!fp_) return false;
  writing_ = (flags & modeWrite) != 0;
  openedByPath_ = true;
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
  writing_ = (flags & modeWrite) != 0;
  openedByPath_ = false;
  std::setvbuf(fp_, nullptr, _IONBF, 0);
  path_ = "file descriptor " + std::to_string(fd);
  return true;
}

void CFile::Close() {
  int err = 0;
  if (behind_) {
    err = behind_->drain();
    behind_.reset();
  }
  ahead_.reset();
  cur_ = {};
  curPos_ = curEnd_ = 0;
  ended_ = false;
  readError_ = 0;
  aheadDecided_ = false;
  if (fp_) {
    std::fclose(fp_);
    fp_ = nullptr;
  }
  const bool unreported = err != 0 && !writeErrorReported_;
  writeErrorReported_ = false;
  if (unreported) throwError("write", err);
}

void CFile::throwError(const char* verb, int err) const {
  throw CFileException(path_, err, std::string("cannot ") + verb + " '" + path_ + "': " + std::strerror(err));
}

void CFile::startReadAhead() {
  aheadDecided_ = true;
  if (!fp_ || writing_ || !openedByPath_ || pipeline_ == Pipeline::never) return;
  const int fd = fileno(fp_);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  const long here = std::ftell(fp_);
  if (here < 0) return;
  if (pipeline_ == Pipeline::automatic && st.st_size - here < static_cast<int64_t>(kPipelineFrom)) return;
  // Default blocks are about a 64th of what is left, between kPipelineFrom
  // and kReadBlockBytes: a long file takes few hand-overs between the
  // threads, a short one few new pages for its buffers.
  std::size_t block = readBlockBytes_;
  if (block == kReadBlockBytes) {
    const auto share = static_cast<uint64_t>(st.st_size - here) / 64;
    if (share < block) block = share < kPipelineFrom ? kPipelineFrom : static_cast<std::size_t>(share);
  }
  ahead_ = startWorker<megcxc::ReadAhead>(fd, static_cast<int64_t>(here), block, kReadHeadroom, kReadDepth);
  if (ahead_) pipePos_ = here;
}

bool CFile::readsAhead() {
  if (!aheadDecided_) startReadAhead();
  return ahead_ != nullptr;
}

bool CFile::nextBlock() {
  if (readError_) throwError("read", readError_);
  if (ended_) return false;
  if (!cur_.empty()) ahead_->recycle(std::exchange(cur_, {}));
  curPos_ = curEnd_ = 0;
  megcxc::ReadAhead::Block b = ahead_->next();
  if (b.error) {
    readError_ = b.error;
    ended_ = true;
    throwError("read", b.error);
  }
  if (b.size == 0) {
    ended_ = true;
    return false;
  }
  cur_ = std::move(b.bytes);
  curPos_ = kReadHeadroom;
  curEnd_ = kReadHeadroom + b.size;
  return true;
}

std::size_t CFile::Read(void* buffer, std::size_t count) {
  if (!fp_ || count == 0) return 0;
  if (!readsAhead()) return std::fread(buffer, 1, count, fp_);
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    if (curPos_ == curEnd_ && !nextBlock()) break;
    const std::size_t n = std::min(count - done, curEnd_ - curPos_);
    std::memcpy(out + done, cur_.data() + curPos_, n);
    curPos_ += n;
    done += n;
  }
  pipePos_ += static_cast<int64_t>(done);
  return done;
}

void CFile::readBlock(megcxc::ByteBuffer& buffer, const unsigned char* keep, std::size_t keepBytes,
                      std::size_t& begin, std::size_t& got) {
  got = 0;
  if (!fp_ || keepBytes > kReadHeadroom || !readsAhead()) return;
  if (curPos_ == curEnd_ && !nextBlock()) return;
  // A fresh block has kReadHeadroom free bytes in front of its data, and
  // Read() only moves curPos_ further on.
  if (keepBytes) std::memcpy(cur_.data() + curPos_ - keepBytes, keep, keepBytes);
  begin = curPos_ - keepBytes;
  const std::size_t fresh = curEnd_ - curPos_;
  std::swap(buffer, cur_);
  got = fresh;
  curPos_ = curEnd_ = 0;
  pipePos_ += static_cast<int64_t>(fresh);
  ahead_->recycle(std::exchange(cur_, {}));
}

bool CFile::writesBehind(std::size_t bytes) {
  if (behind_) return true;
  if (!fp_ || !writing_ || !openedByPath_ || pipeline_ == Pipeline::never) return false;
  if (pipeline_ == Pipeline::automatic && bytes < kPipelineFrom) return false;
  const int fd = fileno(fp_);
  if (fd < 0) return false;
  behind_ = startWorker<megcxc::WriteBehind>(fd, kWriteDepth);
  if (!behind_) return false;
  pipePos_ = std::ftell(fp_);
  return true;
}

void CFile::writeBlock(megcxc::ByteBuffer& buffer, std::size_t bytes) {
  if (!behind_) {
    Write(buffer.data(), bytes);
    return;
  }
  if (const int err = behind_->push(buffer, bytes)) {
    writeErrorReported_ = true;
    throwError("write", err);
  }
  if (pipePos_ >= 0) pipePos_ += static_cast<int64_t>(bytes);
}

void CFile::drainWrites() {
  if (!behind_) return;
  if (const int err = behind_->drain()) {
    writeErrorReported_ = true;
    throwError("write", err);
  }
}

void CFile::Write(const void* buffer, std::size_t count) {
  if (count == 0) return;
  // After what the worker was given, in order.
  drainWrites();
  if (!fp_ || std::fwrite(buffer, 1, count, fp_) != count) {
    const int err = fp_ ? errno : EBADF;
    throwError("write", err);
  }
  if (behind_ && pipePos_ >= 0) pipePos_ += static_cast<int64_t>(count);
}

void CFile::Flush() {
  drainWrites();
  if (fp_ && std::fflush(fp_) != 0) throwError("flush", errno);
}

int64_t CFile::GetLength() const {
  if (!fp_) return -1;
  struct stat st {};
  if (::fstat(fileno(fp_), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  // Bytes given to the writing worker count before they reach the file.
  return behind_ && pipePos_ > st.st_size ? pipePos_ : static_cast<int64_t>(st.st_size);
}

int64_t CFile::GetPosition() const {
  if (!fp_) return -1;
  if (ahead_ || behind_) return pipePos_;
  return std::ftell(fp_);
}

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
  if (want < megcxc::kPageBlockFrom) {
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
