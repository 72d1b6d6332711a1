#include "face/meg_spctm_cc_data_face09_file.h"


#include <sys/stat.h>

#include <cstdio>
#include <new>
#include <utility>

#include "platform/alloc_hook.h"
#include "platform/atomic_file.h"
#include "platform/carchive.h"
#include "platform/read_context.h"
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

namespace megcxc::face {

CollectionReadResult readCollectionFile(const std::string& path, CMEGSpctmCCDataFace09File& collection) {
  try {
    CFile file(path, CFile::modeRead);
    return readCollectionFile(file, path, collection);
  } catch (const CException& e) {
    CollectionReadResult out;
    out.reason = e.what();
    return out;
  }
}

CollectionReadResult readCollectionFile(CFile& file, const std::string& path, CMEGSpctmCCDataFace09File& collection) {
  CollectionReadResult out;
  CMEGSpctmCCDataFace09File fresh;
  int header = 0, result = 0, failedDatasets = 0;
  int64_t rest = 0;
  // In a damaged file every pair after the damage can be refused with the
  // same message: show each text once.
  megcxc::RepeatedMessageFilter once;
  try {
    CArchive ar(&file, CArchive::load);
    header = readHeader(ar);
    result = header == 1 ? readBody(fresh, ar, failedDatasets) : 0;
    rest = ar.bytesRemaining();
  } catch (const CArchiveException& e) {
    struct stat st {};
    out.reason = megcxc::describeArchiveFailure(e, ::stat(path.c_str(), &st) == 0 ? st.st_size : -1);
    out.damageOffset = e.m_offset;
    return out;
  } catch (const CException& e) {
    out.reason = e.what();
    return out;
  } catch (const std::bad_alloc&) {
    out.reason = "not enough memory";
    return out;
  }
  // A refused header has shown the archive's own message; a body that could
  // not create a dataset has shown nothing yet.
  if (header != 1) {
    out.headerRefused = true;
    return out;
  }
  if (result != 1) {
    out.reason = "not enough memory to create a dataset";
    return out;
  }
  // A dataset that failed, or bytes the datasets did not account for, mean
  // that the reader lost its place in a damaged file: what it built is not
  // the stored collection.
  // A message from inside a dataset (a refused pair or summary) means the
  // same, even when the dataset's own read went on to the end.
  if (failedDatasets > 0 || rest > 0 || once.messages() > 0) {
    out.reason = failedDatasets > 0 || once.messages() > 0 ? std::string("a dataset in it is damaged")
                                                            : std::to_string(rest) + " unexpected byte(s) after its end";
    if (once.suppressed() > 0) {
      out.reason += " (" + std::to_string(once.suppressed()) + " repeated message(s) not shown)";
    }
    return out;
  }
  for (int k = 0; k < 3; ++k) std::swap(collection.trialByClass[k], fresh.trialByClass[k]);
  std::swap(collection.auxInt, fresh.auxInt);
  std::swap(collection.currentClass, fresh.currentClass);
  std::swap(collection.collectionName, fresh.collectionName);
  // `fresh` now holds the previous datasets and releases them.
  out.ok = true;
  return out;
}

}  // namespace megcxc::face

int CMEGSpctmCCDataFace09File::loadFromFile(const std::string& path) {
  const megcxc::face::CollectionReadResult read = megcxc::face::readCollectionFile(path, *this);
  if (read.ok) return 1;
  if (!read.headerRefused) showFileError("read", path, read.reason);
  return 0;
}

int CMEGSpctmCCDataFace09File::saveToFile(const std::string& path) {
  const std::string failure =
      megcxc::writeArchiveAtomically(path, [this](CArchive& ar) { serializeSpctmFace(ar); });
  if (failure.empty()) return 1;
  showFileError("write", path, failure);
  return 0;
}
