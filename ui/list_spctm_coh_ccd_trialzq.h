// CListSpctmCohCCDTrialzq: the dataset list bound to a collection. It inserts
// the row of a class dataset with the texts of its columns and records the
// row index in the dataset's listItemId, by which the dialog finds the
// dataset again when the user chooses a row.
#pragma once

#include "ui/list_spctm_coh_ccd_trial.h"

class CMEGSpctmCCDataFacezq;

class CListSpctmCohCCDTrialzq : public CListSpctmCohCCDTrial {
  Q_OBJECT

 public:
  explicit CListSpctmCohCCDTrialzq(QWidget* parent = nullptr);

  // Creates the seven columns ("Class" ... "Delay"), deleting existing ones.
  void setupColumns();
  // Inserts the row of class spctmClass (-1: the collection's currentClass)
  // at the position given by the argument (beyond the end, or negative:
  // appended), stores its index in the dataset's listItemId and sets the
  // texts of columns 1 to 6. Returns 1 when the row and all its texts were
  // set; 0 without collection, for an invalid class or a class without
  // dataset, or when a text cannot be set (the row stays).
  int insertClassRow(int spctmClass);

  // The collection whose datasets are listed; not owned.
  CMEGSpctmCCDataFacezq* collection = nullptr;
};
