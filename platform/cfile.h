// CFile (a file on disk) and CMemFile (bytes in memory): the byte sources and
// sinks beneath CArchive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_buffer.h"

namespace megcxc {
class ReadAhead;
class WriteBehind;
}  // namespace megcxc

class CFile {
 public:
  enum OpenFlags : unsigned { modeRead = 0x0000, modeWrite = 0x0001, modeCreate = 0x1000 };

  CFile();
  // Opens `path`; throws CFileException when it cannot be opened.
  CFile(const std::string& path, unsigned flags);
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens `path` for reading (modeRead) or writing (modeCreate | modeWrite,
  // truncating). Returns false on failure and leaves errno set.
  bool Open(const std::string& path, unsigned flags);
  // Reads (modeRead) or writes (modeWrite) the open file descriptor `fd`: a
  // pipe, a socket, or a file opened elsewhere. On success the CFile owns the
  // descriptor and closes it; on failure (false, errno set) it stays the
  // caller's. A pipe tells neither its length nor its position (-1), so
  // archive readers over it take each declared size as its data arrives.
  bool OpenDescriptor(int fd, unsigned flags);
  // Waits for a writing worker, then closes. Throws CFileException when a
  // write on the worker failed and nothing has reported it yet.
  virtual void Close();

  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count);
  // Writes all `count` bytes or throws CFileException.
  virtual void Write(const void* buffer, std::size_t count);
  virtual void Flush();
  // Total length in bytes, or -1 when unknown.
  virtual int64_t GetLength() const;
  // Current read/write position, or -1 when unknown.
  virtual int64_t GetPosition() const;
  // Bytes left to read from the current position, or -1 when unknown.
  int64_t bytesRemaining() const;

  // For an archive over a file held in memory, which then reads and writes
  // the file's bytes in place instead of copying them through its buffer.
  // takeUnread: the bytes from the position to the end, in place, and the
  // position moves to the end (null and 0 for a file not in memory).
  // writeSpace: at least `least` writable bytes at the position (growing the
  // file's memory), their count in `bytes`; they become part of the file
  // only through commitWrite(n), which appends the first n of them and moves
  // the position. Null for a file not in memory, and when the memory cannot
  // grow. A pointer stays valid until the file is written or grows again.
  virtual const uint8_t* takeUnread(std::size_t& bytes) {
    bytes = 0;
    return nullptr;
  }
  virtual uint8_t* writeSpace(std::size_t least, std::size_t& bytes) {
    (void)least;
    bytes = 0;
    return nullptr;
  }
  virtual void commitWrite(std::size_t n) { (void)n; }

  // Whole-buffer transfer for an archive over a file on disk: a worker
  // thread does the system calls while the archive (de)serialises other
  // buffers, so the disk's time and the archive's overlap on two cores.
  // Only a file opened by path does this (a pipe or descriptor is never read
  // further than asked), and by default only when there is enough to move:
  // reading a file with at least kPipelineFrom bytes left, writing from the
  // first block of at least kPipelineFrom bytes on.
  static constexpr std::size_t kPipelineFrom = std::size_t{256} << 10;
  // Bytes free in front of the data of every block readBlock hands out.
  static constexpr std::size_t kReadHeadroom = std::size_t{64} << 10;
  // Reading takes blocks of up to 2 MiB with their headroom (a 64th of the
  // file, at least kPipelineFrom, unless setPipeline set another size), two
  // ahead: a 600 MB load from a file in the page cache measured 183-188 ms
  // against 193-203 with 256 KiB blocks four ahead (eight times the
  // hand-overs between the threads, each a wake-up), while a 27 MB one
  // needs buffers of 2 MiB less. A whole block buffer is one 2 MiB page.
  static constexpr std::size_t kReadBlockBytes = (std::size_t{2} << 20) - kReadHeadroom;
  enum class Pipeline { automatic, always, never };
  // Chooses when to pipeline (for tests and measurements); `blockBytes` (at
  // least 64; 0 keeps kReadBlockBytes) is the size of a read block.
  // Takes effect at the next Open.
  void setPipeline(Pipeline mode, std::size_t blockBytes = 0);

  // Reading: true when the file reads ahead. Then readBlock takes the next
  // block of the file in place of `buffer` (whose storage goes back to the
  // worker) and copies the `keepBytes` bytes at `keep` (the caller's unread
  // rest, at most kReadHeadroom, pointing anywhere but into the new buffer)
  // just in front of the new bytes: they occupy buffer[begin, begin +
  // keepBytes + got). `got` is 0 at the end of the file, and `buffer` is
  // then left alone. `begin` and `got` are set as soon as the buffer is
  // traded, so a caller still knows what it holds when an override throws
  // after the trade. A failed read throws CFileException. Read() may be
  // mixed with it.
  bool readsAhead();
  virtual void readBlock(megcxc::ByteBuffer& buffer, const unsigned char* keep, std::size_t keepBytes,
                         std::size_t& begin, std::size_t& got);
  // Writing: true when the file writes behind, asked before each block of
  // `bytes` to write. Then writeBlock queues the first `bytes` of `buffer`
  // for the worker and puts an unused buffer of at least the same size in
  // its place (a caller knows the trade happened when its buffer changed,
  // also when an override throws after it). A write that fails on the
  // worker is reported (CFileException) by the next writeBlock, Write,
  // Flush or Close.
  bool writesBehind(std::size_t bytes);
  virtual void writeBlock(megcxc::ByteBuffer& buffer, std::size_t bytes);

  // Flushes the C library buffer and asks the kernel to put the data on disk.
  void syncToDisk();
  const std::string& path() const { return path_; }

 private:
  // Starts the reading worker when the rules above allow it.
  void startReadAhead();
  // The next block from the reading worker into cur_ (false at the end).
  bool nextBlock();
  // Waits for the writing worker; throws its error.
  void drainWrites();
  [[noreturn]] void throwError(const char* verb, int err) const;

  std::FILE* fp_ = nullptr;
  std::string path_;
  bool writing_ = false;  // opened for writing
  bool openedByPath_ = false;
  Pipeline pipeline_ = Pipeline::automatic;
  std::size_t readBlockBytes_ = kReadBlockBytes;
  // Reading ahead: the worker, whether it was considered yet, the block being
  // read through Read() (bytes [curPos_, curEnd_) of cur_ unread), whether the
  // file has ended, and the errno of a failed read (reported again by every
  // later read).
  std::unique_ptr<megcxc::ReadAhead> ahead_;
  bool aheadDecided_ = false;
  megcxc::ByteBuffer cur_;
  std::size_t curPos_ = 0, curEnd_ = 0;
  bool ended_ = false;
  int readError_ = 0;
  // Writing behind: the worker, and whether its failure has been reported.
  std::unique_ptr<megcxc::WriteBehind> behind_;
  bool writeErrorReported_ = false;
  // While a worker runs: the position of the next byte read or given to it
  // (-1 when the file cannot tell).
  int64_t pipePos_ = 0;
};

class CMemFile : public CFile {
 public:
  // An empty memory file for storing.
  CMemFile() = default;
  // A memory file holding a copy of `bytes`, positioned at the start, for
  // loading.
  explicit CMemFile(const std::vector<uint8_t>& bytes);
  ~CMemFile() override;
  CMemFile(const CMemFile&) = delete;
  CMemFile& operator=(const CMemFile&) = delete;

  void Close() override {}
  std::size_t Read(void* buffer, std::size_t count) override;
  // Throws std::bad_alloc when the memory cannot grow (nothing written then).
  void Write(const void* buffer, std::size_t count) override;
  void Flush() override {}
  int64_t GetLength() const override { return static_cast<int64_t>(size_); }
  int64_t GetPosition() const override { return static_cast<int64_t>(pos_); }

  // A copy of the whole content.
  std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(data_, data_ + size_); }
  // The content in place (valid until the next Write) and its length.
  const uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  void seekToBegin() { pos_ = 0; }

  const uint8_t* takeUnread(std::size_t& bytes) override;
  uint8_t* writeSpace(std::size_t least, std::size_t& bytes) override;
  void commitWrite(std::size_t n) override;

 private:
  // Makes the capacity at least `bytes` (doubling); false when it cannot.
  bool reserve(std::size_t bytes);

  // The bytes live in one block that grows without copying: up to 2 MiB a
  // realloc'ed block, beyond that a mapping of whole 2 MiB pages marked for
  // transparent huge pages (megcxc::growPageBlock), which grows by moving its
  // page tables. Writing an archive of hundreds of megabytes then costs one
  // page fault per 2 MiB instead of one per 4 KiB, where a std::vector would
  // also copy everything on each growth.
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t pos_ = 0;
  bool mapped_ = false;  // data_ is a page mapping, not a malloc block
};
