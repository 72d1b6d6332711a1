#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/cexception.h"
#include "platform/message_box.h"

namespace megcxc::fuzz {
namespace {

int64_t g_messages = 0;
const bool g_verbose = std::getenv("MEGCXC_FUZZ_VERBOSE") != nullptr;

}  // namespace

void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

void installSilentMessageBox() {
  static const bool installed = (setMessageBoxHandler([](const CString& text, unsigned type) {
                                   ++g_messages;
                                   if (g_verbose) std::fprintf(stderr, "message: %s\n", text.toUtf8().c_str());
                                   return (type & 0x0F) == MB_YESNO ? IDYES : IDOK;
                                 }),
                                 true);
  (void)installed;
}

int64_t swallowedMessages() { return g_messages; }

namespace {
// A memory file that tells neither its length nor its position and offers
// no window onto its bytes, as a pipe: the archive reads it through its
// buffer (sized inputs are read in place from the memory file's block).
class UnsizedMemFile : public CMemFile {
 public:
  using CMemFile::CMemFile;
  int64_t GetLength() const override { return -1; }
  int64_t GetPosition() const override { return -1; }
  const uint8_t* takeUnread(std::size_t& bytes) override {
    bytes = 0;
    return nullptr;
  }
};
}  // namespace

int readFrom(const uint8_t* data, std::size_t size, const std::function<int(CArchive&)>& read, int64_t* rest,
             std::size_t bufferSize, bool sized) {
  const std::vector<uint8_t> bytes(data, data + size);
  CMemFile sizedFile(sized ? bytes : std::vector<uint8_t>());
  UnsizedMemFile unsizedFile(sized ? std::vector<uint8_t>() : bytes);
  CFile& file = sized ? static_cast<CFile&>(sizedFile) : unsizedFile;
  CArchive ar(&file, CArchive::load, bufferSize);
  int result = kNoMemory;
  std::string how;
  try {
    result = read(ar);
    if (rest != nullptr) *rest = ar.bytesRemaining();
    how = std::to_string(ar.bytesRemaining()) + " bytes unread";
  } catch (const CArchiveException& e) {
    FUZZ_CHECK(e.m_cause == CArchiveException::endOfFile && e.m_offset >= 0 && uint64_t(e.m_offset) <= size,
               std::string("archive exception: ") + e.what());
    result = kRanOut;
    how = e.what();
  } catch (const CMemoryException& e) {
    how = e.what();
  }
  if (g_verbose) std::fprintf(stderr, "read %zu bytes: result %d, %s\n", size, result, how.c_str());
  return result;
}

bool modestExtents(CSpctmTrlCCDatazq& ds) {
  // The reports do (rows x columns) x (lines) work: a few kilobytes of input
  // can declare thousands of pairs and, through one pair, 65,536 lines, which
  // is legitimate work for such a dataset but hours of instrumented runs.
  constexpr int64_t kCellLimit = int64_t{1} << 16;
  constexpr int64_t kWorkLimit = int64_t{1} << 22;
  if (ds.checkDataIntegraty() != 1 || ds.timePt < 1 || ds.freqPt < 1 || ds.timePt > kCellLimit / ds.freqPt) return false;
  const int64_t pairs = ds.rowSnsCount > kWorkLimit / ds.colSnsCount ? kWorkLimit + 1 : ds.rowSnsCount * ds.colSnsCount;
  return pairs <= kWorkLimit / std::max(ds.timePt, ds.freqPt);
}

}  // namespace megcxc::fuzz
