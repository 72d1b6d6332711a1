#include "host/collection_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "platform/atomic_file.h"
#include "platform/carchive.h"
#include "platform/cexception.h"
#include "platform/cfile.h"
#include "platform/message_box.h"
#include "platform/read_context.h"
#include "platform/refused.h"
#include "trial/spctm_trl_cc_data09_file.h"

namespace megcxc::host {

namespace {

bool isCollectionMagic(const CString& s) { return s == facefile::kMagic || s == facefile::kMagicOld; }
bool isTrialMagic(const CString& s) { return s == trlfile::kMagic || s == trlfile::kMagicOld; }

void openForReading(CFile& file, const std::string& path) {
  if (!file.Open(path, CFile::modeRead)) refuse(path + ": cannot open: " + std::strerror(errno));
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) refuse(path + ": is a directory, not a file");
}

// A file on disk that reports the bytes read or written through it, at most
// every 1/200 of `total` (and at least 1 MiB apart), so the report costs
// nothing next to the reading. Reading: `total` is the file's length, found
// when opened.
class WatchedFile : public CFile {
 public:
  WatchedFile(const ByteProgress& progress, int64_t total) : progress_(progress) { setTotal(total); }

  void setTotal(int64_t total) {
    total_ = total;
    step_ = std::max<int64_t>(total / 200, int64_t{1} << 20);
  }
  std::size_t Read(void* buffer, std::size_t count) override {
    const std::size_t got = CFile::Read(buffer, count);
    advance(static_cast<int64_t>(got));
    return got;
  }
  void Write(const void* buffer, std::size_t count) override {
    CFile::Write(buffer, count);
    advance(static_cast<int64_t>(count));
  }
  void readBlock(megcxc::ByteBuffer& buffer, const unsigned char* keep, std::size_t keepBytes,
                 std::size_t& begin, std::size_t& got) override {
    CFile::readBlock(buffer, keep, keepBytes, begin, got);
    advance(static_cast<int64_t>(got));
  }
  void writeBlock(megcxc::ByteBuffer& buffer, std::size_t bytes) override {
    CFile::writeBlock(buffer, bytes);
    advance(static_cast<int64_t>(bytes));
  }
  // The closing report, unless the last byte has been reported already; a
  // file that turned out longer than announced reports its own length.
  void finish() {
    if (progress_ && (reported_ != done_ || done_ == 0)) {
      reported_ = done_;
      progress_(done_, std::max(done_, total_));
    }
  }

 private:
  // The report of the last byte comes from inside the read or write that
  // moved it, before a load hands its datasets over.
  void advance(int64_t bytes) {
    done_ += bytes;
    if (progress_ && (done_ - reported_ >= step_ || (done_ >= total_ && done_ > reported_))) {
      reported_ = done_;
      progress_(done_, std::max(done_, total_));
    }
  }
  const ByteProgress& progress_;
  int64_t total_ = 0, step_ = 1, done_ = 0, reported_ = 0;
};

// Reads a trial archive from `path` into `dataset` and turns every way it can
// go wrong into one Refused line naming the file.
void readTrialChecked(const std::string& path, Dataset& dataset, const ByteProgress& progress) {
  WatchedFile file(progress, 0);
  openForReading(file, path);
  file.setTotal(file.GetLength());
  CArchive ar(&file, CArchive::load);
  // A damaged file can repeat one refusal for every later pair: show each once.
  RepeatedMessageFilter once;
  int ok = 0;
  try {
    ok = dataset.serializeTrlSpctmZq(ar);
  } catch (const CArchiveException& e) {
    throw DamagedArchive(path + ": " + describeArchiveFailure(e, fileSize(path)), e.m_offset);
  } catch (const CMemoryException& e) {
    refuse(path + ": damaged trial archive (" + e.what() + ")");
  } catch (const CFileException& e) {
    refuse(path + ": " + e.what());
  } catch (const std::bad_alloc&) {
    refuse(path + ": not enough memory to read the trial archive");
  }
  if (!ok) refuse(path + ": the library refused the trial archive");
  if (once.messages() > 0) refuse(path + ": damaged trial archive: a part of it was refused");
  const int64_t left = ar.bytesRemaining();
  if (left > 0) {
    refuse(path + ": damaged trial archive: " + std::to_string(left) + " unexpected byte(s) after its end");
  }
  file.finish();
}

}  // namespace

bool pathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

int64_t fileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

ArchiveHeader readArchiveHeader(const std::string& path) {
  CFile file;
  file.setPipeline(CFile::Pipeline::never);  // a few bytes: no worker reading ahead
  openForReading(file, path);
  CArchive ar(&file, CArchive::load);
  CString magic;
  int32_t version = 0;
  try {
    ar >> magic;
    ar >> version;
  } catch (const CException&) {
    refuse(path + ": not a cxc collection or trial archive (no archive header)");
  } catch (const std::bad_alloc&) {
    refuse(path + ": not a cxc collection or trial archive (no archive header)");
  }
  ArchiveHeader header;
  header.magic = magic.toUtf8();
  header.version = version;
  if (isCollectionMagic(magic)) {
    header.kind = ArchiveKind::collection;
  } else if (isTrialMagic(magic)) {
    header.kind = ArchiveKind::trial;
  } else {
    refuse(path + ": not a cxc collection or trial archive (unknown header)");
  }
  return header;
}

ArchiveHeader loadCollectionFile(const std::string& path, Collection& collection, bool acceptTrial,
                                 const ByteProgress& progress) {
  const ArchiveHeader header = readArchiveHeader(path);
  if (header.kind == ArchiveKind::trial) {
    if (!acceptTrial) {
      refuse(path + ": is a single trial archive, not a collection file (cxc import or a collection is needed)");
    }
    std::unique_ptr<Dataset> dataset = loadTrialFile(path, nullptr, progress);
    for (int k = 0; k < face::kClassCount; ++k) collection.deleteSpctmTrlData(k);
    collection.addSpctmDataSet(dataset.release(), 0);
    collection.currentClass = 0;
    return header;
  }
  face::CollectionReadResult read;
  if (progress) {
    WatchedFile file(progress, 0);
    openForReading(file, path);
    file.setTotal(file.GetLength());
    read = face::readCollectionFile(file, path, collection);
  } else {
    read = face::readCollectionFile(path, collection);
  }
  if (read.ok) return header;
  if (read.headerRefused) refuse(path + ": the library refused the collection file");
  if (read.damageOffset >= 0) throw DamagedArchive(path + ": " + read.reason, read.damageOffset);
  refuse(path + ": " + read.reason);
}

std::unique_ptr<Dataset> loadTrialFile(const std::string& path, ArchiveHeader* header, const ByteProgress& progress) {
  const ArchiveHeader found = readArchiveHeader(path);
  if (found.kind != ArchiveKind::trial) refuse(path + ": is a collection file, not a single trial archive");
  auto dataset = std::unique_ptr<Dataset>(new (std::nothrow) Dataset());
  if (!dataset) refuse(path + ": not enough memory");
  readTrialChecked(path, *dataset, progress);
  if (header) *header = found;
  return dataset;
}

void saveCollectionFile(const std::string& path, Collection& collection, const ByteProgress& progress) {
  int64_t total = 0;
  if (progress) {
    try {
      CArchive sizing(nullptr, CArchive::store | CArchive::bCountOnly);
      collection.serializeSpctmFace(sizing);
      total = sizing.position();
    } catch (const std::bad_alloc&) {
      refuse(path + ": cannot write: not enough memory");
    }
  }
  WatchedFile file(progress, total);
  const std::string failure = writeArchiveAtomically(
      path, [&collection](CArchive& ar) { collection.serializeSpctmFace(ar); }, &file);
  if (!failure.empty()) refuse(path + ": cannot write: " + failure);
  file.finish();
}

void saveTrialFile(const std::string& path, Dataset& dataset) {
  const std::string failure =
      writeArchiveAtomically(path, [&dataset](CArchive& ar) { dataset.serializeTrlSpctmZq(ar); });
  if (!failure.empty()) refuse(path + ": cannot write: " + failure);
}

}  // namespace megcxc::host
