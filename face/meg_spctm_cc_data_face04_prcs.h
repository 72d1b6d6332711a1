// CMEGSpctmCCDataFace04Prcs: the collection's work across class datasets —
// class summaries, the active-control combination, the RMS normalisation,
// box means, sample positions and batch operations over every class.
//
// Class codes: 0 active, 1 control, 2 active-control; data types: 0 real,
// 1 imaginary, 2 power/phase.
#pragma once

#include <cstdint>

#include "face/meg_spctm_cc_data_face.h"

class CMEGSpctmCCDataFace04Prcs : public CMEGSpctmCCDataFace {
 public:
  // Summarises every channel pair of the dataset (null: the collection's
  // dataset of spctmClass) for one data type into the dataset's summary of
  // that type: per-cell minimum, mean, maximum, positive and non-positive
  // means (over half the pair count) and RMS, plus the overall figures.
  // Returns the filled summary, or null when the pre-check finds no usable
  // pairs, the data type is invalid or the summary cannot be allocated (the
  // summary then keeps what it held, or is emptied when its arrays could not
  // all be made). With a single pair the figures are that pair's own values,
  // left undivided (squares in cellRms, mean square in rmsValue). When the
  // pairs' extents differ, each pair adds only to the cells it has; cells
  // beyond the first pair's extents start from what the summary's arrays held
  // (zeros when they were just allocated). No notice
  // is shown or kept when no pair qualifies (an empty or absent class is
  // normal): the null result says it, and the batch operations, which only
  // count the records returned, would otherwise raise a box per empty class.
  CSumCCSpctmDatazq* cmpSumCCSpctmData(CSpctmTrlCCDatazq* dataset, int spctmClass, int dataType);
  // As cmpSumCCSpctmData over the pairs of the active sensor's row only. The
  // dataset's curActSns is first clamped into its rows and stored back; the
  // pre-check still covers every pair of the dataset.
  CSumCCSpctmDatazq* cmpSumCCSpctmData4ActSns(CSpctmTrlCCDatazq* dataset, int spctmClass,
                                              int dataType);
  // The ACTIVE-SENSOR summary (cmpSumCCSpctmData4ActSns) for every class 0, 1,
  // 2 and data type 0, 1, 2; the number of records returned (0 to 9). The
  // names of the two batch operations are crossed on purpose: hosts call them
  // by these names.
  int cmpSumCCSpctmAllClassType();
  // The ALL-PAIRS summary (cmpSumCCSpctmData) for every class and data type;
  // the number of records returned.
  int cmpSumCCSpctmAllClassType4ActSns();
  // Pre-check of a summary: the number of pairs of the dataset when every one
  // has the plane of dataType and extents of at least 1 x 1, else 0. A null
  // `dataset` is replaced by the collection's dataset of spctmClass (written
  // back; an invalid class or an empty slot gives 0). The out-counts receive
  // the largest time and frequency extents (0 on failure). Pairs of unequal
  // extents show "Spectral time range (..) frequency range (..)" and pass.
  int checkCrsChnlSpctmInfo(CSpctmTrlCCDatazq*& dataset, int spctmClass, int dataType,
                            int64_t& timePtCount, int64_t& freqPtCount);

  // Combines the active dataset with the (time-collapsed) control dataset
  // into the active-control dataset by actCtlOperation: A-C takes the
  // control value of the same frequency at time 0, A+C / A*C / A/C the
  // control pair's cell [0][0] (A/C gives 0 where that is 0). Asks before
  // collapsing a control of several time points (any answer but Yes gives
  // 0). Creates the active-control dataset when absent and reshapes it like
  // the active one (zero-filled). 1 on success, also for an operation code
  // outside 0..3 (which computes nothing); 0 after a message on failure,
  // steps already done staying done. Cells are computed only where the
  // three pairs hold the plane and within the extents all three have.
  int doAct_Ctl_operation();
  // Divides the real and imaginary planes of the class's dataset (-1:
  // current) by their RMS over the whole dataset. 0 without a dataset or
  // matrix, and 0 without a message when a pair lacks its real or imaginary
  // plane or its extents differ from the dataset's (the RMS would be taken
  // over cells that do not exist). 0 after "Trial Sns-Sns-time-frequency
  // Matrix: is smaller than zero!?" when either RMS is not above 0; nothing
  // changed then.
  int normSpctmCCData_rootMeanSquare(int spctmClass);
  // Box over times timeBegin..timeEnd and frequencies freqBegin..freqEnd
  // (inclusive; -1 takes the dataset's selection) of the class's dataset (-1:
  // current). Source 0: the current channel pair's getSelectSpctmValueX, so
  // `mean` receives the pair's SUM and `count` its cells (the caller
  // divides). Sources 1, 2, 3: the mean of the summary's cellMean, cellMin or
  // cellMax of dataType; the box is clipped to the summary's extents. Returns
  // the number of cells; 0 (mean 0, count 0) for an invalid class, source or
  // data type, a missing dataset, pair or summary plane, or an empty box.
  int64_t getSelectSpctmCCDValueX(int source, int64_t unused, int64_t timeBegin, int64_t timeEnd,
                                  int64_t freqBegin, int64_t freqEnd, double& mean,
                                  int64_t& count, int spctmClass, int dataType);
  // Sample position of time point timeIndex of the class's dataset (0, 1 or
  // 2; no -1): timeIndex * timeStep + timePtOffset + timeDataBegin, wrapping
  // on 64-bit overflow rather than failing. -1 for an invalid class or a
  // missing dataset.
  int64_t getSpctmTimePt(int64_t timeIndex, int spctmClass, int unused);
  // The dataset's computeMagnitude(polarity) on every class dataset present;
  // always 1.
  int computeMagnitude(int polarity);
  // The dataset's computePhase() on every class dataset present; always 1.
  int computePhase();
  // The dataset's zeroDiagnonal() on every class dataset present; always 1.
  int zeroDiagonal();

 protected:
  // Both summary variants: the rows visited are every row, or only the
  // clamped active sensor's.
  CSumCCSpctmDatazq* summariseClass(CSpctmTrlCCDatazq* dataset, int spctmClass, int dataType,
                                    bool activeRowOnly);
};
