// CManagerHostWindow: the main window of cxc-manager, which plays the host of
// the library. It owns one collection, opens and saves collection files,
// builds the demo collection, shows the collection's manager window and
// reports progress in its status bar while datasets are built or files load.
#pragma once

#include <memory>

#include <QMainWindow>
#include <QString>

#include "face/meg_spctm_cc_data_facezq.h"
#include "ui/progress_bridge.h"
#include "ui/qt_wnd.h"

class QLabel;
class QProgressBar;
class QTableWidget;

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

  CMEGSpctmCCDataFacezq& collection() { return collection_; }
  // The manager window, or null before it was first shown.
  QWidget* managerWindow() const;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void onOpen();
  void onSave();
  void onSaveAs();
  // Moves the datasets and header fields of `source` into the owned
  // collection (the manager window stays) and shows the manager again so it
  // lets go of the replaced datasets.
  void adopt(CMEGSpctmCCDataFacezq& source);
  void refreshOverview();
  void updateTitle();

  // Members go before the base class deletes the window's child widgets, so
  // the collection, and with it its manager window, is gone while the
  // application and the host window still exist.
  CMEGSpctmCCDataFacezq collection_;
  CQtWnd hostWnd_;
  std::unique_ptr<CProgressBridge> progress_;
  QString path_;
  QTableWidget* overview_ = nullptr;
  QLabel* header_ = nullptr;
  QLabel* statusText_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
};
