#include "platform/carchive.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/alloc_hook.h"
#include "platform/byte_order.h"

namespace le = megcxc::le;

CArchive::CArchive(CFile* file, unsigned mode, std::size_t bufferSize)
    : file_((mode & (load | bCountOnly)) == bCountOnly ? nullptr : file),
      mode_(mode),
      counting_((mode & (load | bCountOnly)) == bCountOnly),
      bufSize_(std::max<std::size_t>(bufferSize != 0 ? bufferSize : (mode & load) ? 1u << 16 : 2u << 20, 64)),
      data_(nullptr),
      cap_(0) {
  // Storing into a file starts without room and without a buffer, so the
  // first value asks the file for a window (roomFor) before anything is
  // buffered.
  if (counting_) return;  // no buffer, no file
  if (!file_ || IsLoading()) {
    buf_.resize(bufSize_);
    data_ = buf_.data();
    cap_ = buf_.size();
  }
  const int64_t pos = file_ ? file_->GetPosition() : -1;
  base_ = pos < 0 ? 0 : pos;
}

CArchive::~CArchive() {
  if (file_ && IsStoring() && !(mode_ & bNoFlushOnDelete)) {
    try {
      flushBuffer();
    } catch (...) {
      // A destructor must not throw; Close() or Flush() report the error.
    }
  }
}

void CArchive::requireLoading() {
  if (!IsLoading())
    throw CArchiveException(CArchiveException::writeOnly, position(), "archive is storing: cannot read");
}

void CArchive::requireStoring() {
  if (!IsStoring())
    throw CArchiveException(CArchiveException::readOnly, position(), "archive is loading: cannot write");
}

void CArchive::throwEof(std::size_t wanted) const {
  throw CArchiveException(CArchiveException::endOfFile, position(),
                          "unexpected end of archive at byte " + std::to_string(position()) + " while reading " +
                              std::to_string(wanted) + " byte(s)");
}

int64_t CArchive::bytesRemaining() const {
  if (!IsLoading() || !file_) return -1;
  if (streamEnd_ == kEndNotAsked) {
    // The file's position in stream offsets is base_ + tail_ (all it gave so far).
    const int64_t rest = file_->bytesRemaining();
    streamEnd_ = rest < 0 ? -1 : rest + base_ + static_cast<int64_t>(tail_);
  }
  if (streamEnd_ < 0) return -1;
  return std::max<int64_t>(0, streamEnd_ - position());
}

bool CArchive::mayHold(uint64_t bytes) const {
  const int64_t rest = bytesRemaining();
  return rest < 0 || bytes <= static_cast<uint64_t>(rest);
}

bool CArchive::attachWindow(std::size_t need) {
  if (windowTried_ || !file_) return window_;
  std::size_t bytes = 0;
  if (IsLoading()) {
    // Only with the buffer drained: the window continues the stream.
    if (head_ != tail_) return false;
    windowTried_ = true;
    const uint8_t* at = file_->takeUnread(bytes);
    if (!at) return false;
    base_ += static_cast<int64_t>(head_);
    // The window is only read; data_ is not const because storing writes it.
    data_ = const_cast<unsigned char*>(at);
    cap_ = bytes;
    head_ = 0;
    tail_ = bytes;
  } else {
    if (tail_ != 0) return false;
    windowTried_ = true;
    uint8_t* at = file_->writeSpace(std::max(need, bufSize_), bytes);
    if (!at) return false;
    data_ = at;
    cap_ = bytes;
  }
  window_ = true;
  return true;
}

// Loading: brings more of the file in behind the unread bytes; returns how
// many came (0 at the end of the file). A file that reads ahead trades its
// next block for the buffer, the unread rest copied in front of it; any
// other file is read into the buffer behind the rest, moved to its front.
std::size_t CArchive::refill() {
  const std::size_t rest = tail_ - head_;
  if (file_ && rest <= CFile::kReadHeadroom && file_->readsAhead()) {
    std::size_t begin = 0, got = 0;
    // The new block replaces the buffer even when the file throws after
    // trading it (a progress report that stops the load): the archive then
    // still describes the bytes it holds.
    auto take = [&] {
      if (got == 0) return;
      base_ += static_cast<int64_t>(head_);
      data_ = buf_.data() + begin;
      cap_ = buf_.size() - begin;
      head_ = 0;
      tail_ = rest + got;
    };
    try {
      file_->readBlock(buf_, data_ + head_, rest, begin, got);
    } catch (...) {
      take();
      throw;
    }
    take();
    return got;
  }
  if (data_ != buf_.data() || head_ > 0) {
    std::memmove(buf_.data(), data_ + head_, rest);
    base_ += static_cast<int64_t>(head_);
    data_ = buf_.data();
    cap_ = buf_.size();
    head_ = 0;
    tail_ = rest;
  }
  const std::size_t got = file_ && tail_ < buf_.size() ? file_->Read(buf_.data() + tail_, buf_.size() - tail_) : 0;
  tail_ += got;
  return got;
}

// Makes at least `need` (<= buffer size) unread bytes available, or throws.
void CArchive::fill(std::size_t need) {
  if (tail_ - head_ >= need) return;
  // A memory file is read in place: everything unread is in the window.
  if (window_ || attachWindow(need)) {
    if (tail_ - head_ < need) throwEof(need);
    return;
  }
  while (tail_ - head_ < need) {
    if (refill() == 0) throwEof(need);
  }
}

std::size_t CArchive::Read(void* buffer, std::size_t count) {
  requireLoading();
  if (!window_ && head_ == tail_ && count) attachWindow(count);
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = std::min(count, tail_ - head_);
  if (done) std::memcpy(out, data_ + head_, done);
  head_ += done;
  // A window holds everything up to the end of the file.
  if (done == count || window_) return done;
  // Buffer drained: large rests go straight from the file, small ones refill.
  if (count - done >= buf_.size()) {
    base_ += static_cast<int64_t>(head_);
    head_ = tail_ = 0;
    while (done < count && file_) {
      const std::size_t got = file_->Read(out + done, count - done);
      if (got == 0) break;
      done += got;
      base_ += static_cast<int64_t>(got);
    }
    return done;
  }
  while (done < count && refill() != 0) {
    const std::size_t take = std::min(count - done, tail_ - head_);
    std::memcpy(out + done, data_ + head_, take);
    head_ += take;
    done += take;
  }
  return done;
}

void CArchive::ReadExact(void* buffer, std::size_t count) {
  const int64_t start = position();
  if (Read(buffer, count) != count) {
    throw CArchiveException(CArchiveException::endOfFile, start,
                            "unexpected end of archive at byte " + std::to_string(start) + " while reading " +
                                std::to_string(count) + " byte(s)");
  }
}

void CArchive::flushBuffer() {
  if (window_) {
    // The bytes are already in the file's memory: they only join the file.
    if (tail_ > 0) {
      file_->commitWrite(tail_);
      base_ += static_cast<int64_t>(tail_);
      data_ += tail_;
      cap_ -= tail_;
      tail_ = 0;
    }
    return;
  }
  if (tail_ > 0 && file_) {
    if (file_->writesBehind(tail_)) {
      // The file's worker writes this buffer and the archive goes on in
      // another, also when the file throws after taking it.
      const unsigned char* before = buf_.data();
      try {
        file_->writeBlock(buf_, tail_);
      } catch (...) {
        if (buf_.data() != before) {
          data_ = buf_.data();
          cap_ = buf_.size();
          base_ += static_cast<int64_t>(tail_);
          tail_ = 0;
        }
        throw;
      }
      data_ = buf_.data();
      cap_ = buf_.size();
    } else {
      file_->Write(buf_.data(), tail_);
    }
    base_ += static_cast<int64_t>(tail_);
    tail_ = 0;
  }
}

// Storing: room for `count` more bytes at data_ + tail_ (data_ may then be a
// new window), or false when the bytes have to take the buffer's way.
bool CArchive::roomFor(std::size_t count) {
  if (cap_ - tail_ >= count) return true;
  if (!window_) {
    if (!windowTried_ && tail_ == 0 && attachWindow(count)) return cap_ - tail_ >= count;
    // A file not in memory: the bytes go through the buffer.
    if (buf_.empty()) {
      buf_.resize(bufSize_);
      data_ = buf_.data();
    }
    cap_ = buf_.size();
    return cap_ - tail_ >= count;
  }
  flushBuffer();
  std::size_t bytes = 0;
  uint8_t* at = file_->writeSpace(std::max(count, bufSize_), bytes);
  if (!at) throw std::bad_alloc();
  data_ = at;
  cap_ = bytes;
  return true;
}

void CArchive::Write(const void* buffer, std::size_t count) {
  requireStoring();
  if (counting_) {
    base_ += static_cast<int64_t>(count);
    return;
  }
  const auto* in = static_cast<const unsigned char*>(buffer);
  if (count <= cap_ - tail_ || (file_ && roomFor(count))) {
    if (count) std::memcpy(data_ + tail_, in, count);
    tail_ += count;
    return;
  }
  flushBuffer();
  if (count >= buf_.size()) {
    if (file_) file_->Write(in, count);
    base_ += static_cast<int64_t>(count);
    return;
  }
  std::memcpy(buf_.data(), in, count);
  tail_ = count;
}

void CArchive::flushToFile() {
  flushBuffer();
  if (file_) file_->Flush();
}

void CArchive::Flush() {
  if (IsStoring() && flushHolds_ == 0) flushToFile();
}

void CArchive::Close() {
  if (file_ && IsStoring()) flushToFile();
  file_ = nullptr;
  // Nothing of the file's memory is used after this.
  if (window_) {
    window_ = false;
    base_ += static_cast<int64_t>(head_);
    if (buf_.empty()) buf_.resize(bufSize_);
    data_ = buf_.data();
    cap_ = buf_.size();
    head_ = tail_ = 0;
  }
}

void CArchive::writeDoubles(const double* values, std::size_t n) {
  requireStoring();
  if constexpr (le::kHostIsLittle) {
    Write(values, n * sizeof(double));
  } else {
    for (std::size_t i = 0; i < n; ++i) put(values[i]);
  }
}

void CArchive::readDoubles(double* values, std::size_t n) {
  requireLoading();
  if constexpr (le::kHostIsLittle) {
    ReadExact(values, n * sizeof(double));
  } else {
    for (std::size_t i = 0; i < n; ++i) values[i] = get<double>();
  }
}

template <class T>
void CArchive::put(T v) {
  requireStoring();
  if (counting_) {
    base_ += static_cast<int64_t>(sizeof(T));
    return;
  }
  if (cap_ - tail_ < sizeof(T) && !(file_ && roomFor(sizeof(T)))) flushBuffer();
  le::store(data_ + tail_, v);
  tail_ += sizeof(T);
}

template <class T>
T CArchive::get() {
  requireLoading();
  if (tail_ - head_ < sizeof(T)) fill(sizeof(T));
  const T v = le::load<T>(data_ + head_);
  head_ += sizeof(T);
  return v;
}

void CArchive::writePresentRow(const double* row, std::size_t cols) {
  requireStoring();
  if (counting_ && cols <= (SIZE_MAX - 4) / sizeof(double)) {
    base_ += static_cast<int64_t>(4 + cols * sizeof(double));
    return;
  }
  if constexpr (le::kHostIsLittle) {
    if (cols <= (SIZE_MAX - 4) / sizeof(double)) {
      const std::size_t rowBytes = cols * sizeof(double);
      if (cap_ - tail_ >= 4 + rowBytes || (file_ && roomFor(4 + rowBytes))) {
        le::store(data_ + tail_, int32_t{1});
        std::memcpy(data_ + tail_ + 4, row, rowBytes);
        tail_ += 4 + rowBytes;
        return;
      }
    }
  }
  put(int32_t{1});
  writeDoubles(row, cols);
}

std::size_t CArchive::readBufferedPresentRows(double* cells, std::size_t rows, std::size_t cols) {
  requireLoading();
  if constexpr (!le::kHostIsLittle) return 0;
  if (cols > (SIZE_MAX - 4) / sizeof(double)) return 0;
  if (!window_ && head_ == tail_) attachWindow(4);
  const std::size_t rowBytes = cols * sizeof(double);
  std::size_t r = 0;
  while (r < rows && tail_ - head_ >= 4 + rowBytes && le::load<int32_t>(data_ + head_) != 0) {
    std::memcpy(cells + r * cols, data_ + head_ + 4, rowBytes);
    head_ += 4 + rowBytes;
    ++r;
  }
  return r;
}

CArchive& CArchive::operator<<(int32_t v) { put(v); return *this; }
CArchive& CArchive::operator<<(uint32_t v) { put(v); return *this; }
CArchive& CArchive::operator<<(int64_t v) { put(v); return *this; }
CArchive& CArchive::operator<<(uint64_t v) { put(v); return *this; }
CArchive& CArchive::operator<<(double v) { put(v); return *this; }
CArchive& CArchive::operator<<(bool v) { put(static_cast<uint8_t>(v ? 1 : 0)); return *this; }
CArchive& CArchive::operator<<(uint8_t v) { put(v); return *this; }
CArchive& CArchive::operator<<(uint16_t v) { put(v); return *this; }

CArchive& CArchive::operator>>(int32_t& v) { v = get<int32_t>(); return *this; }
CArchive& CArchive::operator>>(uint32_t& v) { v = get<uint32_t>(); return *this; }
CArchive& CArchive::operator>>(int64_t& v) { v = get<int64_t>(); return *this; }
CArchive& CArchive::operator>>(long long& v) { v = get<int64_t>(); return *this; }
CArchive& CArchive::operator>>(uint64_t& v) { v = get<uint64_t>(); return *this; }
CArchive& CArchive::operator>>(double& v) { v = get<double>(); return *this; }
CArchive& CArchive::operator>>(bool& v) { v = get<uint8_t>() != 0; return *this; }
CArchive& CArchive::operator>>(uint8_t& v) { v = get<uint8_t>(); return *this; }
CArchive& CArchive::operator>>(uint16_t& v) { v = get<uint16_t>(); return *this; }

void AfxWriteStringLength(CArchive& ar, std::size_t length, bool unicode) {
  if (unicode) {
    ar << static_cast<uint8_t>(0xFF);
    ar << static_cast<uint16_t>(0xFFFE);
  }
  if (length < 0xFF) {
    ar << static_cast<uint8_t>(length);
  } else if (length < 0xFFFE) {
    ar << static_cast<uint8_t>(0xFF);
    ar << static_cast<uint16_t>(length);
  } else if (length < 0xFFFFFFFFu) {
    ar << static_cast<uint8_t>(0xFF);
    ar << static_cast<uint16_t>(0xFFFF);
    ar << static_cast<uint32_t>(length);
  } else {
    ar << static_cast<uint8_t>(0xFF);
    ar << static_cast<uint16_t>(0xFFFF);
    ar << static_cast<uint32_t>(0xFFFFFFFFu);
    ar << static_cast<uint64_t>(length);
  }
}

uint64_t AfxReadStringLength(CArchive& ar, int& charSize) {
  charSize = 1;
  uint8_t b = 0;
  ar >> b;
  if (b < 0xFF) return b;
  uint16_t w = 0;
  ar >> w;
  if (w == 0xFFFE) {
    // Unicode tag: the real length prefix follows.
    charSize = 2;
    ar >> b;
    if (b < 0xFF) return b;
    ar >> w;
  }
  if (w < 0xFFFF) return w;
  uint32_t d = 0;
  ar >> d;
  if (d < 0xFFFFFFFFu) return d;
  uint64_t q = 0;
  ar >> q;
  return q;
}

CArchive& CArchive::operator<<(const CString& s) {
  const std::u16string& u = s.units();
  AfxWriteStringLength(*this, u.size(), true);
  if constexpr (le::kHostIsLittle) {
    Write(u.data(), u.size() * 2);
  } else {
    for (const char16_t c : u) put(static_cast<uint16_t>(c));
  }
  return *this;
}

CArchive& CArchive::operator>>(CString& s) {
  requireLoading();
  int charSize = 1;
  const int64_t start = position();
  const uint64_t len = AfxReadStringLength(*this, charSize);
  if (len > (UINT64_MAX / 2) || !mayHold(len * static_cast<uint64_t>(charSize))) {
    throw CArchiveException(CArchiveException::endOfFile, start,
                            "string at byte " + std::to_string(start) + " declares " + std::to_string(len) +
                                " characters, more than the archive holds");
  }
  // Any other length is read (in steps when the stream cannot tell its
  // length) until the stream ends; only one whose byte count this machine
  // cannot even represent is refused as memory.
  if (len > SIZE_MAX / static_cast<std::size_t>(charSize) || megcxc::allocationShouldFail()) {
    throw CMemoryException("cannot allocate a string of " + std::to_string(len) + " characters");
  }
  const std::size_t n = static_cast<std::size_t>(len);
  // A length the stream is not known to hold is taken in steps as the bytes
  // arrive; one the stream holds (or a short one) in one piece.
  const std::size_t step = bytesRemaining() < 0 ? megcxc::kReadAheadBytes / static_cast<std::size_t>(charSize) : n;
  auto readUnits = [&](auto& text) {
    try {
      std::size_t done = 0;
      do {
        const std::size_t take = std::min(step, n - done);
        text.resize(done + take);
        ReadExact(text.data() + done, take * static_cast<std::size_t>(charSize));
        done += take;
      } while (done < n);
    } catch (const std::bad_alloc&) {
      throw CMemoryException("cannot allocate a string of " + std::to_string(len) + " characters");
    }
  };
  if (charSize == 2) {
    std::u16string units;
    readUnits(units);
    if constexpr (!le::kHostIsLittle) {
      for (char16_t& c : units) c = le::byteswap(c);
    }
    s = CString(std::move(units));
  } else {
    std::string bytes;
    readUnits(bytes);
    s = CString::fromWindows1252(bytes);
  }
  return *this;
}
