// CFile (a file on disk) and CMemFile (bytes in memory): the byte sources and
// sinks beneath CArchive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CFile {
 public:
  enum OpenFlags : unsigned { modeRead = 0x0000, modeWrite = 0x0001, modeCreate = 0x1000 };

  CFile() = default;
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

  // Flushes the C library buffer and asks the kernel to put the data on disk.
  void syncToDisk();
  const std::string& path() const { return path_; }

 private:
  std::FILE* fp_ = nullptr;
  std::string path_;
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
