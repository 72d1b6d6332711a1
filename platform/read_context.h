// ReadContext: the one place where the archive readers say what they read.
//
// Each reader (channel pair, summary, trial dataset, collection, vector) keeps
// one for the record it reads and names every field before reading it. An
// archive exception raised while a field is read (the stream ended, or cannot
// be read) leaves the reader naming the field, the record and the byte
// offset where the field begins. A record read inside another adds the outer
// record's place after its own:
//
//   end of archive in cells of row 1 of working plane 0 (byte 1234) of
//   channel pair (3, 7); in channel pair of column 2 of row 0 (byte 1001) of
//   trial dataset; in active dataset (byte 70) of collection
//
// The exception's m_offset is where the innermost field begins, so a field
// read in one piece or in several steps ends in the same exception.
//
// The context also holds the readers' rules for sizing what a declared extent
// makes them allocate (mayAllocateAhead, kMaxDeclaredBytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/carchive.h"
#include "platform/cexception.h"

namespace megcxc {

// Largest block a reader attempts for one declared extent (a plane with its
// row table, a row table of the pair matrix, a row of pair records, a
// vector). A larger extent is implausible: no machine we run on could hold
// it, so it is refused like an allocation that failed, without reading its
// data.
inline constexpr uint64_t kMaxDeclaredBytes = uint64_t{1} << 40;

// True when a reader may allocate `bytes` for a declared extent before
// reading its data: they are few (kReadAheadBytes), or the stream is known to
// hold at least `streamBytes` more bytes, the least that data occupies in
// the stream. Otherwise the reader takes the data as it arrives and
// allocates once it has it.
inline bool mayAllocateAhead(const CArchive& ar, uint64_t bytes, uint64_t streamBytes) {
  if (bytes <= kReadAheadBytes) return true;
  const int64_t rest = ar.bytesRemaining();
  return rest >= 0 && streamBytes <= static_cast<uint64_t>(rest);
}

// Byte-count arithmetic that saturates at UINT64_MAX instead of wrapping.
inline uint64_t saturatedProduct(uint64_t a, uint64_t b) { return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b; }
inline uint64_t saturatedSum(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// How a checked load words an archive exception for a user: a stream that
// ended early as "truncated or damaged file (ends at byte N while reading
// <place>)" (N the stream's length when known, else where the field began),
// anything else as "damaged file (<what>)".
std::string describeArchiveFailure(const CArchiveException& e, int64_t streamBytes);

class ReadContext {
 public:
  // `record` names what is read ("channel pair"); a string that outlives the
  // context.
  ReadContext(CArchive& ar, const char* record) noexcept : ar_(ar), record_(record) {}
  ReadContext(const ReadContext&) = delete;
  ReadContext& operator=(const ReadContext&) = delete;

  // Names the field read next and remembers where it begins. `field` must
  // outlive the context (a string literal).
  ReadContext& at(const char* field) noexcept {
    field_ = field;
    qualifiers_ = 0;
    start_ = ar_.position();
    return *this;
  }
  // Names the field read next like the one before (same qualifiers) with the
  // index of the first qualifier set to `index`: the cheap form for the
  // fields of a row loop.
  ReadContext& next(const char* field, int64_t index) noexcept {
    field_ = field;
    qualifier_[0].index = index;
    start_ = ar_.position();
    return *this;
  }
  // Narrows the field: "<field> of <label> <index>" (no index when negative).
  // Up to three, innermost first.
  ReadContext& of(const char* label, int64_t index = -1) noexcept {
    if (qualifiers_ < kQualifiers) qualifier_[qualifiers_++] = {label, index};
    return *this;
  }
  // The record's identity once read (a channel pair's sensors), shown as
  // "(a, b)" after its name.
  void identify(int64_t a, int64_t b) noexcept {
    identified_ = true;
    id_[0] = a;
    id_[1] = b;
  }

  // Reads one value as the field named last.
  template <class T>
  void get(T& v) {
    guard([&] { ar_ >> v; });
  }
  // Names the field and reads one value.
  template <class T>
  void read(const char* field, T& v) {
    at(field);
    get(v);
  }
  // Reads n doubles as the field named last.
  void getDoubles(double* values, std::size_t n) {
    guard([&] { ar_.readDoubles(values, n); });
  }
  // Appends n doubles of the field named last to `out`, which grows in steps
  // of kReadAheadBytes as the values arrive. Throws std::bad_alloc when it
  // cannot grow.
  void appendDoubles(std::vector<double>& out, uint64_t n);

  // Runs `read` (reading from the archive, possibly a whole nested record or
  // a loop of fields named with next()) and gives an archive exception raised
  // inside it this context's place. Guards may nest; the place is added once.
  template <class F>
  auto guard(F&& read) -> decltype(read()) {
    try {
      return read();
    } catch (const CArchiveException& e) {
      if (failed_) throw;
      fail(e);
    }
  }
  // Rethrows `e` with this context's place added.
  [[noreturn]] void fail(const CArchiveException& e) const;

  // "<field> of <qualifiers> (byte <start>) of <record> (<identity>)".
  std::string place() const;
  CArchive& archive() const noexcept { return ar_; }

 private:
  static constexpr int kQualifiers = 3;
  struct Qualifier {
    const char* label;
    int64_t index;
  };
  CArchive& ar_;
  const char* record_;
  const char* field_ = "header";
  int64_t start_ = 0;
  Qualifier qualifier_[kQualifiers] = {};
  int qualifiers_ = 0;
  bool identified_ = false;
  int64_t id_[2] = {0, 0};
  // Set once fail() has thrown: an enclosing guard of the same context lets
  // that exception pass unchanged.
  mutable bool failed_ = false;
};

}  // namespace megcxc
