// CMEGSpctmCCDataFacezq: the collection type a host creates and keeps; adds
// the entry to the manager dialog.
#pragma once

#include "face/meg_spctm_cc_data_face09_file.h"
#include "platform/cdialog.h"

class CMEGSpctmCCDataFacezq : public CMEGSpctmCCDataFace09File {
 public:
  // Shows the modeless manager dialog for this collection: creates it on the
  // first call (kept in managerDlg and destroyed with the collection), then
  // points it at this collection and its current class dataset, refreshes
  // and shows it. Returns 1.
  //
  // Defined by the user-interface library, not by the core: a host that calls
  // it must link megcxc_ui, which also registers the dialog's deleter
  // (setManagerDlgDeleter). Hosts without a GUI (the command-line tool,
  // bindings) never call it and link the core alone.
  int showDlgSpctmCohManager(CWnd* parent);
};
