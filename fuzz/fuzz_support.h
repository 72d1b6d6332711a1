// Shared pieces of the archive fuzz targets: a silent message box, reading
// and writing records, and the checks every target runs after its reader
// (the record holds together, tests/support/fits.h, and survives a round
// trip). A failed check prints what was wrong and aborts, which the fuzzing
// engine (or the replay driver) reports as a crash with the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "platform/carchive.h"
#include "platform/cfile.h"
#include "summary/sum_cc_spctm_datazq.h"
#include "tests/support/fits.h"

namespace megcxc::fuzz {

// Prints "fuzz check failed: <what>" and aborts.
[[noreturn]] void fail(const std::string& what);

#define FUZZ_CHECK(cond, what)                                              \
  do {                                                                      \
    if (!(cond)) ::megcxc::fuzz::fail(std::string(what) + " [" #cond "]"); \
  } while (0)

// Installs, once per process, a message-box handler that swallows every
// message (answering Yes to questions, so that operations asking for consent
// go ahead) and counts them. MEGCXC_FUZZ_VERBOSE=1 prints each message and
// each reader outcome.
void installSilentMessageBox();
int64_t swallowedMessages();

// The value of n little-endian bytes, decoded independently of CArchive.
inline uint64_t le(const uint8_t* p, std::size_t n) {
  uint64_t v = 0;
  while (n-- > 0) v = (v << 8) | p[n];
  return v;
}

// Results of readFrom beyond the reader's own.
constexpr int kRanOut = -1, kNoMemory = -2;

// Runs `read` on a loading archive over the bytes and returns its result, or
// kRanOut when the stream ran out (which must be the only archive exception,
// at an offset inside the stream), or kNoMemory. `rest` receives the bytes left unread. The small default buffer
// makes the fuzzed streams exercise the refills between and inside values.
// Without `sized` the stream does not tell its length, as a pipe.
int readFrom(const uint8_t* data, std::size_t size, const std::function<int(CArchive&)>& read,
             int64_t* rest = nullptr, std::size_t bufferSize = 64, bool sized = true);

inline std::vector<uint8_t> writeTo(const std::function<void(CArchive&)>& write) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
  }
  return file.bytes();
}

// The archive operation of each record.
inline int serialize(CSpctmChnChnDatazq& r, CArchive& ar) { return r.serializeSpctmCzq(ar); }
inline int serialize(CSumCCSpctmDatazq& r, CArchive& ar) { return r.serializeSumCCD(ar); }
inline int serialize(CSpctmTrlCCDatazq& r, CArchive& ar) { return r.serializeTrlSpctmZq(ar); }
inline int serialize(CMEGSpctmCCDataFace09File& r, CArchive& ar) { return r.serializeSpctmFace(ar); }

template <class Record>
std::vector<uint8_t> bytesOf(Record& r) {
  return writeTo([&](CArchive& ar) { serialize(r, ar); });
}

using megcxc::test::misfit;
// A collection holds together when no dataset sits in two class slots and
// every dataset holds together.
inline std::string misfit(const CMEGSpctmCCDataFace& f) {
  for (int k = 0; k < 3; ++k) {
    if (f.trialByClass[k] == nullptr) continue;
    for (int j = 0; j < k; ++j)
      if (f.trialByClass[j] == f.trialByClass[k]) return "one dataset in two class slots";
    if (std::string m = misfit(*f.trialByClass[k]); !m.empty()) return "class " + std::to_string(k) + " " + m;
  }
  return "";
}

inline void check(const std::string& misfit, const std::string& where) {
  FUZZ_CHECK(misfit.empty(), where + ": " + misfit);
}

// The record holds together and can be written; those bytes read into a
// fresh record return 1 without any message and are consumed exactly; the
// fresh record holds together and writes the same bytes again.
template <class Record>
void roundTrip(Record& original, const std::string& where) {
  check(misfit(original), where);
  const std::vector<uint8_t> first = bytesOf(original);
  Record again;
  const int64_t before = swallowedMessages();
  int64_t rest = -1;
  const int result = readFrom(
      first.data(), first.size(), [&](CArchive& ar) { return serialize(again, ar); }, &rest, 1u << 16);
  FUZZ_CHECK(result == 1 && rest == 0 && swallowedMessages() == before,
             where + ": the written record read back with result " + std::to_string(result) + ", " +
                 std::to_string(rest) + " bytes unread or a message");
  check(misfit(again), where + ", read back");
  FUZZ_CHECK(bytesOf(again) == first, where + ": writing the record read back gave other bytes");
}

// What every target does first: reads the input into `r` (whatever the
// outcome: loaded, refused, cut short) and round-trips what it left. The
// input is also read from a stream that does not tell its length: the
// readers then take declared sizes as the data arrives, which must end the
// same way (the same result or exception, the same number of messages) and,
// when the read succeeds, build the same record.
template <class Record>
void readAndRoundTrip(Record& r, const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  const int64_t before = swallowedMessages();
  const int result = readFrom(data, size, [&](CArchive& ar) { return serialize(r, ar); });
  const int64_t messages = swallowedMessages() - before;
  Record unsized;
  const int unsizedResult =
      readFrom(data, size, [&](CArchive& ar) { return serialize(unsized, ar); }, nullptr, 64, false);
  FUZZ_CHECK(unsizedResult == result && swallowedMessages() - before == 2 * messages,
             "a stream of unknown length ended with " + std::to_string(unsizedResult) + " instead of " +
                 std::to_string(result) + ", or other messages");
  check(misfit(unsized), "fuzzed record from a stream of unknown length");
  FUZZ_CHECK(result != 1 || bytesOf(unsized) == bytesOf(r),
             "a stream of unknown length built another record");
  roundTrip(r, "fuzzed record");
}

// Operations that size new planes by a dataset's own timePt and freqPt (the
// initialisation inside `add`, the shaping of the active-control dataset,
// the statistics reports) trust those values, which a file sets freely; a
// hostile value only makes them ask for an allocation that fails with the
// documented message, but under the fuzzer's allocation limit that is noise.
// This brings the dataset's extents in line with its current pair
// (checkDataIntegraty, as those operations do first) and tells whether they
// stay within 64K cells and the pairs times the report lines within 4M, the
// regime in which the targets run them.
bool modestExtents(CSpctmTrlCCDatazq& trial);

}  // namespace megcxc::fuzz
