#include "face/meg_spctm_cc_data_face09_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "platform/message_box.h"
#include "platform/read_context.h"

namespace {

using namespace megcxc::facefile;

constexpr const char* kWrongMagic = "The opened file is not trial data or corrupted!";
constexpr const char* kWrongVersion = "Wrong spectral data face format!!?";
constexpr const char* kRecord = "collection";
constexpr const char* kSlotNames[3] = {"active dataset", "control dataset", "active-control dataset"};

void showFileError(const char* verb, const std::string& path, const std::string& reason) {
  AfxMessageBox(CString("Cannot " + std::string(verb) + " " + path + ": " + reason), MB_OK);
}

// Creates a new, empty file next to `target` with a name no other file has
// (O_EXCL), with the target's permission bits when the target exists. Returns
// its path, or an empty string with errno set.
std::string createTempBeside(const std::string& target) {
  const std::filesystem::path t(target);
  const std::filesystem::path dir = t.has_parent_path() ? t.parent_path() : std::filesystem::path(".");
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(::getpid()), ++counter);
    const std::string candidate = (dir / ("." + t.filename().string() + suffix)).string();
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
    ::close(fd);
    return candidate;
  }
  errno = EEXIST;
  return {};
}

// Asks the kernel to make the rename itself durable; best effort (some file
// systems refuse to sync a directory, which changes nothing for the caller).
void syncParentDirectory(const std::string& target) {
  const std::filesystem::path t(target);
  const std::string dir = t.has_parent_path() ? t.parent_path().string() : std::string(".");
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Reads and checks the magic and the version: 1 when both are accepted, else
// 0 after the message.
int readHeader(CArchive& ar) {
  megcxc::ReadContext ctx(ar, kRecord);
  CString magic;
  ctx.read("magic", magic);
  if (!(magic == kMagic) && !(magic == kMagicOld)) {
    AfxMessageBox(kWrongMagic, MB_OK);
    return 0;
  }
  int32_t version = 0;
  ctx.read("version", version);
  if (version != kVersion) {
    AfxMessageBox(kWrongVersion, MB_OK);
    return 0;
  }
  return 1;
}

// Reads the body into `f` in place (see serializeSpctmFace20110729) and
// counts in `failedDatasets` the datasets whose own read returned 0.
int readBody(CMEGSpctmCCDataFace09File& f, CArchive& ar, int& failedDatasets) {
  for (CSpctmTrlCCDatazq*& dataset : f.trialByClass) {
    delete dataset;
    dataset = nullptr;
  }
  megcxc::ReadContext ctx(ar, kRecord);
  int32_t value = 0;
  ctx.read("auxInt", value);
  f.auxInt = value;
  ctx.read("currentClass", value);
  f.currentClass = value;
  ctx.read("collectionName", f.collectionName);
  for (int k = 0; k < 3; ++k) {
    ctx.at("presence flag").of(kSlotNames[k]);
    int32_t present = 0;
    ctx.get(present);
    if (present == 0) continue;
    CSpctmTrlCCDatazq* dataset = megcxc::xnew<CSpctmTrlCCDatazq>();
    if (dataset == nullptr) return 0;
    f.trialByClass[k] = dataset;
    // The dataset reports its own failures; reading goes on.
    ctx.at(kSlotNames[k]);
    if (ctx.guard([&] { return dataset->serializeTrlSpctmZq(ar); }) != 1) ++failedDatasets;
  }
  return 1;
}

}  // namespace

int CMEGSpctmCCDataFace09File::serializeSpctmFace(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << CString(kMagic) << kVersion;
    serializeSpctmFace20110729(ar);
    ar.Flush();
    return 1;
  }
  if (readHeader(ar) != 1) return 0;
  return serializeSpctmFace20110729(ar);
}

int CMEGSpctmCCDataFace09File::serializeSpctmFace20110729(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << static_cast<int32_t>(auxInt) << static_cast<int32_t>(currentClass) << collectionName;
    for (CSpctmTrlCCDatazq* dataset : trialByClass) {
      if (dataset == nullptr) {
        ar << int32_t{0};
        continue;
      }
      ar << int32_t{1};
      dataset->serializeTrlSpctmZq(ar);
    }
    return 1;
  }
  int failedDatasets = 0;
  return readBody(*this, ar, failedDatasets);
}

int CMEGSpctmCCDataFace09File::loadFromFile(const std::string& path) {
  CMEGSpctmCCDataFace09File fresh;
  int header = 0, result = 0, failedDatasets = 0;
  int64_t rest = 0;
  // In a damaged file every pair after the damage can be refused with the
  // same message: show each text once.
  megcxc::RepeatedMessageFilter once;
  try {
    CFile file(path, CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    header = readHeader(ar);
    result = header == 1 ? readBody(fresh, ar, failedDatasets) : 0;
    rest = ar.bytesRemaining();
  } catch (const CException& e) {
    showFileError("read", path, e.what());
    return 0;
  } catch (const std::bad_alloc&) {
    showFileError("read", path, "not enough memory");
    return 0;
  }
  // A refused header has shown the archive's own message; a body that could
  // not create a dataset has shown nothing yet.
  if (header != 1) return 0;
  if (result != 1) {
    showFileError("read", path, "not enough memory to create a dataset");
    return 0;
  }
  // A dataset that failed, or bytes the datasets did not account for, mean
  // that the reader lost its place in a damaged file: what it built is not
  // the stored collection.
  // A message from inside a dataset (a refused pair or summary) means the
  // same, even when the dataset's own read went on to the end.
  if (failedDatasets > 0 || rest > 0 || once.messages() > 0) {
    std::string why = failedDatasets > 0 || once.messages() > 0 ? "a dataset in it is damaged"
                                                                 : "it holds data after the last dataset";
    if (once.suppressed() > 0) why += " (" + std::to_string(once.suppressed()) + " repeated message(s) not shown)";
    showFileError("read", path, why);
    return 0;
  }
  for (int k = 0; k < 3; ++k) std::swap(trialByClass[k], fresh.trialByClass[k]);
  std::swap(auxInt, fresh.auxInt);
  std::swap(currentClass, fresh.currentClass);
  std::swap(collectionName, fresh.collectionName);
  // `fresh` now holds the previous datasets and releases them.
  return 1;
}

int CMEGSpctmCCDataFace09File::saveToFile(const std::string& path) {
  // Through a symbolic link the file it points at is replaced, not the link.
  std::string target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
    if (!ec) target = real.string();
  }
  const std::string temp = createTempBeside(target);
  if (temp.empty()) {
    showFileError("write", path, std::strerror(errno));
    return 0;
  }
  try {
    CFile file(temp, CFile::modeCreate | CFile::modeWrite);
    {
      CArchive ar(&file, CArchive::store);
      serializeSpctmFace(ar);
      ar.Close();
    }
    file.syncToDisk();
    file.Close();
  } catch (const CException& e) {
    ::unlink(temp.c_str());
    showFileError("write", path, e.what());
    return 0;
  } catch (const std::bad_alloc&) {
    ::unlink(temp.c_str());
    showFileError("write", path, "not enough memory");
    return 0;
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    showFileError("write", path, std::strerror(err));
    return 0;
  }
  syncParentDirectory(target);
  return 1;
}
