// CSpctmTrlCCDatazq: the trial dataset type the library hands out; merging
// and accumulation of datasets.
//
// `add` sums another dataset of the same sensor layout into this one pair by
// pair; the accumulations replace every pair's grid by its mean over time,
// over frequency or over both. An accumulation builds the whole new matrix
// before it lets go of the old one, so a failure at any point leaves the old
// matrix as it was.
#pragma once

#include "platform/cdialog.h"
#include "platform/cstring.h"
#include "trial/spctm_trl_cc_data09_file.h"

class CSpctmTrlCCDatazq : public CSpctmTrlCCData09File {
 public:
  // Copies from `source`, in this order: cmptType, resultType, timePt,
  // freqPt, selTimeBegin, selTimeEnd, selFreqBegin, selFreqEnd,
  // timeDataLength, timeDataBegin, timeDataEnd, timeStep, freqFirstHz,
  // freqLastHz, freqStepHz, auxFactor1, auxFactor2, freqRatio, freqAxisLog,
  // then the timePtCount and freqPtCount of the three summaries. No pair,
  // summary array or figure, name, text or plane flag is copied; but a
  // summary holding arrays of other extents than the new counts is emptied
  // first (cleanAll), so its arrays are never read with counts they were not
  // allocated with. 0 when source is null, else 1.
  int setParameters(const CSpctmTrlCCDatazq* source);

  // Adds every pair of `source` into the pair at the same row and column
  // (addSpctmChnlzq, creating missing planes). A dataset without a matrix is
  // first initialised to the source's sensor counts, extents and plane flags
  // (zero-filled; the progress pointers are passed on to that initialisation
  // only). Returns 1; 0 without a message when source is null or has no
  // pairs; 0 with "The number of sensor for spectral CC-data does not
  // match?!" when this dataset has a matrix of another layout (nothing
  // changed); 0 when the initialisation fails; 0 with "add spectral CCData
  // error! \n" when a pair cannot be added (also when a row of either matrix
  // is missing) — the pairs added before stay added. Axes and summaries are
  // not touched.
  int add(const CSpctmTrlCCDatazq* source, CDialog* progressDlg, CString* progressText);

  // Replaces every pair by a pair of 1 x freqPt cells holding, per frequency,
  // the mean over time of the old pair (per cell: 0.0 plus the cells of
  // t = 0 ... timePt - 1 in order, divided once by timePt), for the real plane
  // and the imaginary / power-phase planes that hasImagPlane /
  // hasPowerPhasePlane announce. The new pairs keep chnA, chnB and userTag and
  // take their collapsed planes as raw backup. Then timePt = 1 and the time
  // selection is 0 ... 0. Returns 1, or 0:
  // - without a message on an empty dataset or an extent below 1;
  // - with "Spectral data have only 1 time-slice!?" when timePt is 1;
  // - when checkDataIntegraty fails;
  // - without a message, before anything is built, when a row is missing or a
  //   pair's extents differ from the dataset's (as checkDataIntegraty left
  //   them) or it lacks the real plane or an announced plane: a grid that
  //   disagrees with the dataset cannot be averaged without guessing, and
  //   skipping it would give a dataset that is partly collapsed;
  // - when building the new matrix fails (a pair's own "Has enough memory?"
  //   message may appear): the old matrix is kept, timePt, freqPt and the
  //   selection stay as checkDataIntegraty left them.
  int accumulateTime1();
  // As accumulateTime1 over frequency: pairs of timePt x 1 cells, each the
  // mean of its row (0.0 plus f = 0 ... freqPt - 1 in order, divided once by
  // freqPt); then freqPt = 1 and the frequency selection is 0 ... 0. The
  // message when freqPt is 1: "Spectral data have only 1 frequency-slice!?".
  int accumulateFreq1();
  // As accumulateTime1 over both axes: pairs of one cell holding the sum of
  // all cells (row by row, from 0.0) divided once by timePt * freqPt; then
  // timePt = freqPt = 1 and all four selection indices 0. Refused when freqPt
  // is 1 (whatever timePt is) with "Spectral data have only 1 time and 1
  // frequency slices!?".
  int accumulateTimeFreq1();
};
