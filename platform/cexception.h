// Exceptions raised by the archive primitives.
//
// Record operations never throw on their own; these come out of CArchive when
// a stream ends early, cannot be read or written, or a string length cannot be
// allocated, and pass through the record operations to the caller.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

class CException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CArchiveException : public CException {
 public:
  // MFC's cause codes.
  enum Cause {
    none = 0,
    genericException = 1,
    readOnly = 2,
    endOfFile = 3,
    writeOnly = 4,
    badIndex = 5,
    badClass = 6,
    badSchema = 7
  };
  // `offset` is the byte position in the stream where the failing access began;
  // `place` says what a reader was reading there (see megcxc::ReadContext),
  // empty when the exception comes straight from a primitive read.
  CArchiveException(Cause cause, int64_t offset, const std::string& what, std::string place = {})
      : CException(what), m_cause(cause), m_offset(offset), m_place(std::move(place)) {}
  Cause m_cause;
  int64_t m_offset;
  // The field and record being read, innermost first, each later record
  // after "; in ". Set by the readers; empty for a primitive's exception.
  std::string m_place;
};

class CFileException : public CException {
 public:
  CFileException(const std::string& path, int err, const std::string& what)
      : CException(what), m_path(path), m_errno(err) {}
  std::string m_path;
  int m_errno;
};

class CMemoryException : public CException {
 public:
  explicit CMemoryException(const std::string& what) : CException(what) {}
};
