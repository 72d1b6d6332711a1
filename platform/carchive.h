// CArchive: a buffered, little-endian binary stream over a CFile.
//
// One archive either stores or loads (its mode). Values are MFC's raw archive
// forms: int32/uint32 (4 bytes), int64 (8), double (8, IEEE-754), bool (1 byte,
// written 0/1, any nonzero byte reads as true) and CString (MFC's string form,
// see operator<<(CString)). Running out of bytes throws CArchiveException with
// cause endOfFile and the byte offset; reading from a storing archive or writing
// to a loading one throws CArchiveException (writeOnly / readOnly).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/cexception.h"
#include "platform/cfile.h"
#include "platform/cstring.h"

namespace megcxc {
// Bytes a reader may set aside for a declared size before the stream has
// delivered the data that justifies them. A larger size is allocated at once
// only when the stream is known to hold its data; otherwise (a pipe cannot
// tell its length) the reader grows its buffer as the data arrives, so a
// short hostile stream never makes it hold much more than it has read.
inline constexpr std::size_t kReadAheadBytes = std::size_t{1} << 20;
}  // namespace megcxc

class CArchive {
 public:
  // bCountOnly (ours): a storing archive that only counts the bytes it is
  // given (position() is their number) and needs no file: the exact size of
  // an archive, learnt without copying its bytes anywhere.
  enum Mode : unsigned { store = 0, load = 1, bNoFlushOnDelete = 2, bCountOnly = 8 };

  // `bufferSize` 0 chooses: 64 KiB for loading, 2 MiB for storing (a file on
  // disk takes its pages in larger pieces: 1 MiB measured 10 % faster than
  // 64 KiB writes for a 600 MB archive on ext4, and 2 MiB is one huge page of
  // a ByteBuffer). A storing archive allocates its buffer only when the file
  // is not held in memory.
  CArchive(CFile* file, unsigned mode, std::size_t bufferSize = 0);
  // Flushes a storing archive (errors are swallowed here; call Close or Flush
  // to see them).
  ~CArchive();
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;

  bool IsStoring() const { return (mode_ & load) == 0; }
  bool IsCountOnly() const { return (mode_ & (load | bCountOnly)) == bCountOnly; }
  bool IsLoading() const { return (mode_ & load) != 0; }
  unsigned GetMode() const { return mode_; }
  CFile* GetFile() const { return file_; }

  // Reads up to `count` bytes, fewer only at the end of the stream (MFC's
  // Read); returns how many were read.
  std::size_t Read(void* buffer, std::size_t count);
  // Reads exactly `count` bytes or throws endOfFile.
  void ReadExact(void* buffer, std::size_t count);
  void Write(const void* buffer, std::size_t count);
  // Storing: writes the buffer to the file and flushes it (nothing while a
  // FlushDeferral is held).
  void Flush();
  // Flushes a storing archive (also under a FlushDeferral) and detaches from
  // the file.
  void Close();

  // While one is held, Flush() leaves the bytes in the archive's buffer (a
  // full buffer is still written). A record that stores many nested records,
  // each of which flushes at its end, holds one around them and flushes once
  // itself: the stream is the same, but the file is not written (one system
  // call each for a CFile) once per nested record.
  class FlushDeferral {
   public:
    explicit FlushDeferral(CArchive& ar) : ar_(ar) { ++ar_.flushHolds_; }
    ~FlushDeferral() { --ar_.flushHolds_; }
    FlushDeferral(const FlushDeferral&) = delete;
    FlushDeferral& operator=(const FlushDeferral&) = delete;

   private:
    CArchive& ar_;
  };

  // Bulk transfer of doubles, little-endian, without a call per value.
  void writeDoubles(const double* values, std::size_t n);
  void readDoubles(double* values, std::size_t n);

  // A plane row as plane blocks store it: the int32 flag 1, then `cols`
  // doubles. The same bytes as `*this << int32_t{1}` and writeDoubles.
  void writePresentRow(const double* row, std::size_t cols);
  // Reads consecutive present rows of a plane block into `cells` (row r at
  // cells + r * cols): while the next int32 flag is nonzero and the flag and
  // its `cols` doubles have already arrived in the archive's buffer, takes
  // both. Stops before a zero flag (not consumed), before a row that has not
  // wholly arrived, or after `rows` rows; returns how many rows were read.
  // Reading never waits on the file here, so the caller reads whatever
  // follows field by field, with its own error reporting.
  std::size_t readBufferedPresentRows(double* cells, std::size_t rows, std::size_t cols);

  // Bytes left to read (buffered and in the file), or -1 when the source cannot
  // tell. Loading code uses it to refuse declared sizes that cannot fit in the
  // rest of the stream before allocating anything. The file is asked once, at
  // the first call (asking a CFile costs system calls and its stdio buffer);
  // later calls count from the bytes consumed since, so the file must not
  // change length while it is being loaded.
  int64_t bytesRemaining() const;
  // True unless the remaining byte count is known and smaller than `bytes`.
  bool mayHold(uint64_t bytes) const;
  // Position in the stream (bytes stored or consumed so far through this
  // archive, plus the file position where it started).
  int64_t position() const {
    return base_ + static_cast<int64_t>(IsLoading() ? head_ : tail_);
  }

  CArchive& operator<<(int32_t v);
  CArchive& operator<<(uint32_t v);
  CArchive& operator<<(int64_t v);
  CArchive& operator<<(long long v) { return *this << static_cast<int64_t>(v); }
  CArchive& operator<<(uint64_t v);
  CArchive& operator<<(double v);
  CArchive& operator<<(bool v);
  CArchive& operator<<(uint8_t v);
  CArchive& operator<<(uint16_t v);
  // Writes MFC's Unicode CString form: FF FE FF, the length in UTF-16 units
  // (1 byte below 255; else FF + 16-bit below 0xFFFE; else FF FF FF + 32-bit),
  // then the UTF-16LE units.
  CArchive& operator<<(const CString& s);

  CArchive& operator>>(int32_t& v);
  CArchive& operator>>(uint32_t& v);
  CArchive& operator>>(int64_t& v);
  CArchive& operator>>(long long& v);
  CArchive& operator>>(uint64_t& v);
  CArchive& operator>>(double& v);
  CArchive& operator>>(bool& v);
  CArchive& operator>>(uint8_t& v);
  CArchive& operator>>(uint16_t& v);
  // Reads both MFC forms: the Unicode-tagged one (UTF-16LE units kept as they
  // are) and the untagged one (single-byte Windows-1252 text). Throws
  // CMemoryException when the length cannot be allocated and endOfFile when it
  // cannot fit in the rest of a stream of known length. When the length of the
  // stream is unknown, a long string is read in steps of kReadAheadBytes, so
  // the memory held never runs far ahead of the bytes read.
  CArchive& operator>>(CString& s);

 private:
  void requireLoading();
  void requireStoring();
  void fill(std::size_t need);
  std::size_t refill();
  void flushBuffer();
  // Writes the buffer to the file and flushes the file.
  void flushToFile();
  [[noreturn]] void throwEof(std::size_t wanted) const;
  template <class T>
  void put(T v);
  template <class T>
  T get();

  // A memory file's bytes in place instead of buf_ (see CFile::takeUnread
  // and CFile::writeSpace): loading takes everything unread at once, storing
  // writes straight into the file's block.
  bool attachWindow(std::size_t need);
  bool roomFor(std::size_t count);

  CFile* file_;
  unsigned mode_;
  const bool counting_;  // bCountOnly while storing
  std::size_t bufSize_;  // the buffer's size (buf_ stays empty until needed when storing)
  megcxc::ByteBuffer buf_;
  // The bytes being read or written: buf_, or the memory file's block while
  // `window_` is set; `cap_` of them usable.
  unsigned char* data_;
  std::size_t cap_;
  bool window_ = false;
  bool windowTried_ = false;  // the file was asked for a window
  std::size_t head_ = 0;  // loading: next unread byte
  std::size_t tail_ = 0;  // loading: end of valid bytes; storing: bytes pending
  int64_t base_ = 0;      // stream offset of buf_[0]
  int flushHolds_ = 0;    // FlushDeferral objects alive
  // Loading: stream offset of the end of the file as first found by
  // bytesRemaining (-1: the file cannot tell; kEndNotAsked before that).
  static constexpr int64_t kEndNotAsked = -2;
  mutable int64_t streamEnd_ = kEndNotAsked;
};

// Writes MFC's string length prefix (with the Unicode tag when `unicode`).
void AfxWriteStringLength(CArchive& ar, std::size_t length, bool unicode);
// Reads MFC's string length prefix; sets `charSize` to 1 or 2.
uint64_t AfxReadStringLength(CArchive& ar, int& charSize);
