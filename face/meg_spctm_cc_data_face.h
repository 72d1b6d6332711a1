// CMEGSpctmCCDataFace: the collection of trial datasets by class, the one
// object a host creates and keeps.
//
// The collection holds at most one dataset per class (0 active, 1 control,
// 2 active-control; the index of `trialByClass`), a current class that class
// arguments of -1 stand for, the active-control operation chosen in the
// manager dialog, a name, and the manager dialog itself. It owns its datasets
// (made with new, released with delete) and the dialog. This layer holds every
// field and the basic operations; later layers add member functions only.
//
// The manager dialog belongs to the user-interface library (megcxc_ui); the
// core library never includes or links a GUI toolkit. The collection therefore
// sees the dialog as an incomplete type and destroys it through a deleter that
// the user-interface library registers (setManagerDlgDeleter) when it creates
// its first dialog.
#pragma once

#include <cstdint>

#include "platform/cdialog.h"
#include "platform/cstring.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::face {
// Number of class slots: 0 active, 1 control, 2 active-control.
inline constexpr int kClassCount = 3;
// The name a dataset the collection creates for a class starts with.
inline constexpr const char* kClassDatasetNames[kClassCount] = {"Active CxC", "Control CxC", "Act-Ctl CxC"};
}  // namespace megcxc::face

// The manager dialog; defined by the user-interface library.
class CDlgSpctmCCDataManager;

class CMEGSpctmCCDataFace {
 public:
  // Dataset of each class, index = class code; owned, null when absent.
  CSpctmTrlCCDatazq* trialByClass[3];
  // Host value stored with the collection; not interpreted.
  int auxInt;
  // Current class code, or -1 when no class is current.
  int currentClass;
  CString collectionName;
  // Active-control operation: 0 "A-C", 1 "A+C", 2 "A*C", 3 "A/C".
  int actCtlOperation;
  // The manager dialog, created on first display; owned.
  CDlgSpctmCCDataManager* managerDlg;

  // Destroys a manager dialog made by the user-interface library.
  using ManagerDlgDeleter = void (*)(CDlgSpctmCCDataManager*);
  // Installs the process-wide deleter of manager dialogs (null removes it) and
  // returns the previous one. The user-interface library registers its
  // deleter before it stores a dialog in any collection.
  static ManagerDlgDeleter setManagerDlgDeleter(ManagerDlgDeleter deleter);
  // The installed deleter, or null.
  static ManagerDlgDeleter getManagerDlgDeleter();

  // No datasets, auxInt 0, currentClass 0, name "Unknown", operation 0, no
  // dialog.
  CMEGSpctmCCDataFace();
  // Releases every dataset (cleanSpctmCCTrls), then destroys the dialog
  // through the registered deleter. Without a deleter (only possible when a
  // dialog pointer was stored by something other than the user-interface
  // library) the pointer is forgotten: an incomplete type cannot be deleted
  // here.
  ~CMEGSpctmCCDataFace();
  // Not copyable: a copy would share the datasets and the dialog, which each
  // collection releases. The library never copies a collection.
  CMEGSpctmCCDataFace(const CMEGSpctmCCDataFace&) = delete;
  CMEGSpctmCCDataFace& operator=(const CMEGSpctmCCDataFace&) = delete;

  // Number of classes that hold a dataset, 0 to 3.
  int getTotalSpctmDataSets();
  // Stores `dataset` (made with new; null empties the slot) for class 0, 1 or
  // 2, releasing the dataset held there before; returns 1. Returns 0 and
  // leaves `dataset` with the caller for any other class (-1 included).
  // Handing in the dataset the class already holds changes nothing and
  // returns 1. A dataset that another class holds is refused with 0, so no
  // dataset can ever be released twice. currentClass and the name stay.
  int addSpctmDataSet(CSpctmTrlCCDatazq* dataset, int spctmClass);
  // Releases every dataset; auxInt and currentClass become 0. Always 1.
  int cleanSpctmCCTrls();
  // Clears the summaries and releases the pair matrix of every dataset,
  // keeping the datasets themselves. Always 1.
  int cleanSpctmCCData();
  // Releases the dataset of the class (-1: current) and makes the first
  // class still holding one current (-1 when none). 0 for an invalid class,
  // with nothing changed.
  int deleteSpctmTrlData(int spctmClass);
  // The dataset of the class (-1: current); when the slot is empty and
  // `create` is set, a new dataset named after the class is stored there
  // first. Null for an invalid class, an empty slot without `create`, or a
  // failed allocation (slot left empty). currentClass stays.
  CSpctmTrlCCDatazq* getCCSpctmTrlData4Class(bool create, int spctmClass);
  // Makes the first class holding a dataset current (-1 when none) and
  // returns it.
  int autoFindSetSpctmClass();
  // Scales every plane of the class's dataset by `factor`; any value other
  // than 0, 1, 2 (-1 included) scales every dataset. Always 1.
  int scaleSpctmAllClassDataType(int spctmClass, double factor);
  // Restores every dataset from its raw backup; returns the number of
  // datasets asked, whatever each restore gave.
  int reloadSpctmDataAll();
  // The class's dataset (created when absent, -1: current), initialised to
  // rowSns x colSns pairs of timePt x freqPt cells. Null for an invalid class,
  // a failed creation, or a failed initialisation (the dataset then stays in
  // its slot, without a matrix).
  CSpctmTrlCCDatazq* checkInitSpctmCxCData4Class(int spctmClass, int64_t rowSns, int64_t colSns,
                                                 int64_t timePt, int64_t freqPt, bool zeroFill,
                                                 int withImag, int withPowerPhase,
                                                 CDialog* progressDlg, CString* progressText);
  // The first dataset in class order, which also becomes current; null (and
  // currentClass unchanged) when there is none.
  CSpctmTrlCCDatazq* getTrlCohDataAny();

 protected:
  // -1 resolved to currentClass; the class when it is 0, 1 or 2, else -1.
  int resolveClass(int spctmClass) const;
  // First class in the order 0, 1, 2 holding a dataset; -1 when none.
  int firstPresentClass() const;
  // The dataset of class 0, 1 or 2; null for another value or an empty slot.
  CSpctmTrlCCDatazq* datasetOf(int spctmClass) const;
};
