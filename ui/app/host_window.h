// CManagerHostWindow: the main window of cxc-manager, which plays the host of
// the library. It owns one collection, opens and saves collection files,
// builds the demo collection, shows the collection's manager window and
// reports progress in its status bar while datasets are built or files load.
//
// Beside the manager window it shows the pictures of the manager's current
// dataset (CDatasetViews) and keeps them in step with the manager: a pair
// clicked in the matrix or a box drawn on the image becomes the manager's
// current pair or selection, and every manager operation redraws them.
//
// It guards unsaved work: the title carries a modified marker after an
// operation changed the collection, New, Open and Quit ask before dropping
// such changes, and datasets deleted in the manager can be brought back
// (Edit > Undo Delete) until another collection replaces this one.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <QMainWindow>
#include <QMessageBox>
#include <QString>

#include "face/meg_spctm_cc_data_facezq.h"
#include "host/metadata.h"
#include "host/views.h"
#include "ui/progress_bridge.h"
#include "ui/qt_wnd.h"

class QAction;
class QLabel;
class QProgressBar;
class QTableWidget;
class CDatasetViews;
class CDlgSpctmCCDataManager;

class CManagerHostWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit CManagerHostWindow(QWidget* parent = nullptr);
  ~CManagerHostWindow() override;

  // Replaces the collection by the one in `path`. A file that cannot be read
  // leaves the collection as it was (the library shows why). True on success.
  bool openFile(const QString& path);
  // Writes the collection to `path` (atomically); true on success.
  bool saveFile(const QString& path);
  // Replaces the collection by a new demo collection; true on success.
  bool newDemoCollection();
  // Shows (creating on first use) the collection's manager window.
  void showManager();

  // The user's New, Open and Save As: New and Open first ask whether unsaved
  // changes may go (see confirmDiscard). False when nothing happened.
  bool requestNew();
  bool requestOpen();
  bool requestSaveAs();
  // With unsaved changes: asks Save / Discard / Cancel; Save saves (Save As
  // without a file). True when the caller may drop the collection.
  bool confirmDiscard();
  // Brings back the dataset deleted last, into its class slot if that is
  // still empty. False when there is nothing to bring back or the slot is
  // taken.
  bool undoDelete();

  // The question asked by confirmDiscard and the file chooser of Open and
  // Save As; replaceable so that tests can answer them.
  std::function<QMessageBox::StandardButton()> unsavedChangesPrompt;
  std::function<QString(bool forSave)> fileChooser;

  // Sensor names and sampling rate for the pictures, where the host knows
  // them (default: 0-based indices and time in samples).
  void setAxisLabels(const megcxc::host::AxisLabelSource& labels);

  CMEGSpctmCCDataFacezq& collection() { return collection_; }
  // The manager window, or null before it was first shown.
  QWidget* managerWindow() const;
  CDlgSpctmCCDataManager* manager() const;
  CDatasetViews* views() const { return views_; }
  QAction* undoDeleteAction() const { return undoDelete_; }
  // What the host knows the power/phase plane of `dataset` holds.
  megcxc::host::ThirdPlane thirdPlaneOf(const CSpctmTrlCCDatazq* dataset) const;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void onSave();
  // Moves the datasets and header fields of `source` into the owned
  // collection (the manager window stays) and shows the manager again so it
  // lets go of the replaced datasets.
  void adopt(CMEGSpctmCCDataFacezq& source);
  // A new collection replaced the old one: no undo, no marker, plane kinds
  // forgotten.
  void startAfresh();
  void refreshOverview();
  void updateTitle();
  // The manager finished a handler (command id, 0 for rows and combo boxes).
  void onManagerHandled(int commandId);
  void onPairChosen(qint64 row, qint64 column);
  void onSelectionChosen(qint64 timeBegin, qint64 timeEnd, qint64 freqBegin, qint64 freqEnd);
  // Points the pictures at the manager's current dataset and redraws them.
  void refreshViews(bool valuesChanged);
  bool keepDeleted(int spctmClass, CSpctmTrlCCDatazq* dataset);

  // Members go before the base class deletes the window's child widgets, so
  // the collection, and with it its manager window, is gone while the
  // application and the host window still exist.
  CMEGSpctmCCDataFacezq collection_;
  // Channel names and units of the collection (its companion file).
  megcxc::host::Metadata metadata_;
  CQtWnd hostWnd_;
  std::unique_ptr<CProgressBridge> progress_;
  // Deleted datasets with their class, the last one last.
  std::vector<std::pair<int, std::unique_ptr<CSpctmTrlCCDatazq>>> deleted_;
  std::map<const CSpctmTrlCCDatazq*, megcxc::host::ThirdPlane> thirdPlane_;
  QString path_;
  bool managerConnected_ = false;
  QTableWidget* overview_ = nullptr;
  QLabel* header_ = nullptr;
  QLabel* statusText_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  CDatasetViews* views_ = nullptr;
  QAction* undoDelete_ = nullptr;
};
