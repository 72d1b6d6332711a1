#include "face/meg_spctm_cc_data_face.h"

#include "platform/alloc_hook.h"

namespace {

using megcxc::face::kClassCount;

CMEGSpctmCCDataFace::ManagerDlgDeleter g_managerDlgDeleter = nullptr;

bool isClass(int spctmClass) { return spctmClass >= 0 && spctmClass < kClassCount; }

}  // namespace

CMEGSpctmCCDataFace::ManagerDlgDeleter CMEGSpctmCCDataFace::setManagerDlgDeleter(
    ManagerDlgDeleter deleter) {
  ManagerDlgDeleter previous = g_managerDlgDeleter;
  g_managerDlgDeleter = deleter;
  return previous;
}

CMEGSpctmCCDataFace::ManagerDlgDeleter CMEGSpctmCCDataFace::getManagerDlgDeleter() {
  return g_managerDlgDeleter;
}

CMEGSpctmCCDataFace::CMEGSpctmCCDataFace()
    : trialByClass{nullptr, nullptr, nullptr},
      auxInt(0),
      currentClass(0),
      collectionName("Unknown"),
      actCtlOperation(0),
      managerDlg(nullptr) {}

CMEGSpctmCCDataFace::~CMEGSpctmCCDataFace() {
  cleanSpctmCCTrls();
  if (managerDlg != nullptr) {
    if (g_managerDlgDeleter != nullptr) g_managerDlgDeleter(managerDlg);
    managerDlg = nullptr;
  }
}

int CMEGSpctmCCDataFace::resolveClass(int spctmClass) const {
  if (spctmClass == -1) spctmClass = currentClass;
  return isClass(spctmClass) ? spctmClass : -1;
}

int CMEGSpctmCCDataFace::firstPresentClass() const {
  for (int k = 0; k < kClassCount; ++k) {
    if (trialByClass[k] != nullptr) return k;
  }
  return -1;
}

CSpctmTrlCCDatazq* CMEGSpctmCCDataFace::datasetOf(int spctmClass) const {
  return isClass(spctmClass) ? trialByClass[spctmClass] : nullptr;
}

int CMEGSpctmCCDataFace::getTotalSpctmDataSets() {
  int count = 0;
  for (CSpctmTrlCCDatazq* ds : trialByClass) {
    if (ds != nullptr) ++count;
  }
  return count;
}

int CMEGSpctmCCDataFace::addSpctmDataSet(CSpctmTrlCCDatazq* dataset, int spctmClass) {
  if (!isClass(spctmClass)) return 0;
  if (trialByClass[spctmClass] == dataset) return 1;
  if (dataset != nullptr) {
    for (CSpctmTrlCCDatazq* held : trialByClass) {
      if (held == dataset) return 0;
    }
  }
  delete trialByClass[spctmClass];
  trialByClass[spctmClass] = dataset;
  return 1;
}

int CMEGSpctmCCDataFace::cleanSpctmCCTrls() {
  for (CSpctmTrlCCDatazq*& ds : trialByClass) {
    delete ds;
    ds = nullptr;
  }
  auxInt = 0;
  currentClass = 0;
  return 1;
}

int CMEGSpctmCCDataFace::cleanSpctmCCData() {
  for (CSpctmTrlCCDatazq* ds : trialByClass) {
    if (ds == nullptr) continue;
    ds->_cleanSumCCSpctmData();
    ds->_cleanSpctmCC();
  }
  return 1;
}

int CMEGSpctmCCDataFace::deleteSpctmTrlData(int spctmClass) {
  const int cls = resolveClass(spctmClass);
  if (cls < 0) return 0;
  delete trialByClass[cls];
  trialByClass[cls] = nullptr;
  currentClass = firstPresentClass();
  return 1;
}

CSpctmTrlCCDatazq* CMEGSpctmCCDataFace::getCCSpctmTrlData4Class(bool create, int spctmClass) {
  const int cls = resolveClass(spctmClass);
  if (cls < 0) return nullptr;
  if (trialByClass[cls] == nullptr && create) {
    CSpctmTrlCCDatazq* ds = megcxc::xnew<CSpctmTrlCCDatazq>();
    if (ds == nullptr) return nullptr;
    ds->trialName = megcxc::face::kClassDatasetNames[cls];
    trialByClass[cls] = ds;
  }
  return trialByClass[cls];
}

int CMEGSpctmCCDataFace::autoFindSetSpctmClass() {
  currentClass = firstPresentClass();
  return currentClass;
}

int CMEGSpctmCCDataFace::scaleSpctmAllClassDataType(int spctmClass, double factor) {
  if (isClass(spctmClass)) {
    if (trialByClass[spctmClass] != nullptr) trialByClass[spctmClass]->scaleSpctmAllDataType4Class(factor);
    return 1;
  }
  for (CSpctmTrlCCDatazq* ds : trialByClass) {
    if (ds != nullptr) ds->scaleSpctmAllDataType4Class(factor);
  }
  return 1;
}

int CMEGSpctmCCDataFace::reloadSpctmDataAll() {
  int count = 0;
  for (CSpctmTrlCCDatazq* ds : trialByClass) {
    if (ds == nullptr) continue;
    ds->reloadSpctmDataTrl();
    ++count;
  }
  return count;
}

CSpctmTrlCCDatazq* CMEGSpctmCCDataFace::checkInitSpctmCxCData4Class(
    int spctmClass, int64_t rowSns, int64_t colSns, int64_t timePt, int64_t freqPt, bool zeroFill,
    int withImag, int withPowerPhase, CDialog* progressDlg, CString* progressText) {
  CSpctmTrlCCDatazq* ds = getCCSpctmTrlData4Class(true, spctmClass);
  if (ds == nullptr) return nullptr;
  if (ds->checkInitSpctmCCData(rowSns, colSns, timePt, freqPt, zeroFill, withImag, withPowerPhase,
                               progressDlg, progressText) == 0) {
    return nullptr;
  }
  return ds;
}

CSpctmTrlCCDatazq* CMEGSpctmCCDataFace::getTrlCohDataAny() {
  const int cls = firstPresentClass();
  if (cls < 0) return nullptr;
  currentClass = cls;
  return trialByClass[cls];
}
