// The collection's entry to its manager window. The member is declared with
// the collection in the core library, which knows no GUI toolkit; it is
// defined here, where the dialog lives, together with the deleter through
// which the collection destroys the dialog it owns.
#include <QApplication>
#include <QWindow>

#include "face/meg_spctm_cc_data_facezq.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/qt_wnd.h"

namespace {

void deleteManagerDlg(CDlgSpctmCCDataManager* dlg) {
  // A widget can only be deleted while the application object exists; a
  // collection that outlives it leaves the dialog to the process exit.
  if (QApplication::instance() != nullptr) delete dlg;
}

}  // namespace

int CMEGSpctmCCDataFacezq::showDlgSpctmCohManager(CWnd* parent) {
  // Without an application object no window can exist (a safe 0).
  if (QApplication::instance() == nullptr) return 0;
  if (managerDlg == nullptr) {
    setManagerDlgDeleter(deleteManagerDlg);
    // No Qt parent: the collection alone owns the dialog. The host window
    // only becomes its transient parent, which keeps it above the host.
    auto* dlg = new CDlgSpctmCCDataManager(nullptr);
    auto* host = dynamic_cast<CQtWnd*>(parent);
    if (host != nullptr && host->widget() != nullptr) {
      QWidget* top = host->widget()->window();
      dlg->winId();
      top->winId();
      if (dlg->windowHandle() != nullptr && top->windowHandle() != nullptr) {
        dlg->windowHandle()->setTransientParent(top->windowHandle());
      }
    }
    managerDlg = dlg;
  }
  return managerDlg->showFor(this);
}
