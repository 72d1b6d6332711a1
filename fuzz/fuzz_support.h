// Shared pieces of the archive fuzz targets: a silent message box, checks of
// the internal consistency of every record a reader can leave behind, and the
// write / read-back round trip every target runs after its reader.
//
// A failed check prints what was wrong and aborts, which the fuzzing engine
// (or the replay driver) reports as a crash with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/carchive.h"
#include "platform/cfile.h"

class CSpctmChnChnData;
class CSumCCSpctmData;
class CMMatrix1D;
class CSpctmTrlCCData;
class CSpctmTrlCCDatazq;
class CMEGSpctmCCDataFace;

namespace megcxc::fuzz {

// Prints "fuzz check failed: <what>" and aborts.
[[noreturn]] void fail(const std::string& what);

#define FUZZ_CHECK(cond, what)                                                   \
  do {                                                                           \
    if (!(cond)) ::megcxc::fuzz::fail(std::string(what) + " [" #cond "]");      \
  } while (0)

// Installs, once per process, a message-box handler that swallows every
// message (answering Yes to questions, so that operations asking for consent
// go ahead) and counts them. Each target calls it first.
void installSilentMessageBox();
// Messages swallowed since the process started.
int64_t swallowedMessages();

// How a reader call ended.
enum class Outcome { loaded, refused, archiveException, memoryException };
const char* outcomeName(Outcome o);

// Runs `read` on a loading archive over `bytes` and reports how it ended.
// `read` returns the reader's int result (1 = loaded). When `rest` is given it
// receives the bytes left unread (only meaningful for loaded / refused).
// The archive buffer is small by default so that the fuzzed streams also
// exercise the buffer refills between and inside values.
Outcome readFrom(const uint8_t* data, std::size_t size, const std::function<int(CArchive&)>& read,
                 int64_t* rest = nullptr, std::size_t bufferSize = 64);

// Runs `write` on a storing archive and returns the bytes written.
std::vector<uint8_t> writeTo(const std::function<void(CArchive&)>& write);

// Consistency of a record as every operation of the library relies on it.
// Each walks every present plane or array in full, so that under
// AddressSanitizer extents larger than the storage are caught as overflows.
void checkPair(const CSpctmChnChnData& pair, const char* where);
void checkSummary(const CSumCCSpctmData& summary, const char* where);
void checkVector(const CMMatrix1D& vector, const char* where);
void checkTrial(const CSpctmTrlCCData& trial, const char* where);
void checkCollection(const CMEGSpctmCCDataFace& face, const char* where);

// Operations that size new planes by a dataset's own timePt and freqPt (the
// initialisation inside `add`, the shaping of the active-control dataset,
// the statistics reports) trust those values, which a file sets freely; a
// hostile value only makes them ask for an allocation that fails with the
// documented message, but under the fuzzer's allocation limit that is noise.
// This brings the dataset's extents in line with its current pair
// (checkDataIntegraty, as those operations do first) and tells whether they
// stay within 64K cells, the regime in which the targets run them.
bool modestExtents(CSpctmTrlCCDatazq& trial);

// The round trip of a record that a reader left behind (loaded, refused or
// cut short): writing it must succeed; reading those bytes into a fresh
// record must return 1 without any message and consume them exactly; the
// fresh record must pass `check`; and writing it again must give the same
// bytes. `store` writes a record, `load` reads one (returning the reader's
// result) and `check` is the record's consistency check.
template <class Record>
struct RoundTrip {
  std::function<void(Record&, CArchive&)> store;
  std::function<int(Record&, CArchive&)> load;
  std::function<void(const Record&, const char*)> check;
};

template <class Record>
void roundTrip(Record& original, const RoundTrip<Record>& rt) {
  const std::vector<uint8_t> first = writeTo([&](CArchive& ar) { rt.store(original, ar); });
  Record again;
  const int64_t before = swallowedMessages();
  int64_t rest = -1;
  const Outcome o = readFrom(
      first.data(), first.size(), [&](CArchive& ar) { return rt.load(again, ar); }, &rest, 1u << 16);
  FUZZ_CHECK(o == Outcome::loaded, std::string("re-reading a written record ended as ") + outcomeName(o));
  FUZZ_CHECK(swallowedMessages() == before, "re-reading a written record showed a message");
  FUZZ_CHECK(rest == 0, "re-reading a written record left " + std::to_string(rest) + " bytes unread");
  rt.check(again, "re-read record");
  const std::vector<uint8_t> second = writeTo([&](CArchive& ar) { rt.store(again, ar); });
  FUZZ_CHECK(first == second, "writing a re-read record gave other bytes (" + std::to_string(first.size()) +
                                  " then " + std::to_string(second.size()) + ")");
}

}  // namespace megcxc::fuzz
