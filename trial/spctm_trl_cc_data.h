// CSpctmTrlCCData: one trial dataset of cross-channel spectra.
//
// The dataset owns a sensor x sensor matrix of channel-pair records (every
// ordered pair, the diagonal included), all with the same time x frequency
// extents, plus the description of the axes, a selected time-frequency box,
// the pair currently shown, one summary per data type and the descriptive
// fields the host sets and the archive keeps. This layer holds every field,
// builds and releases the matrix, finds pairs, posts progress notices while
// the matrix is built, and offers the value-range family used to scale
// displays. Later layers add member functions only.
#pragma once

#include <cstdint>

#include "platform/cdialog.h"
#include "platform/cstring.h"
#include "sibling/mmatrix1dzq.h"
#include "spectral/spctm_chn_chn_datazq.h"
#include "summary/sum_cc_spctm_datazq.h"

class CSpctmTrlCCData {
 public:
  int auxInt1;
  // Spectral computation: 0 "CWT", 1 "GBT", anything else "Cmp?".
  int cmptType;
  // How the data were gathered: 0 "Real Time", 1 "Accumulate", 2 "Wave-Cross".
  int storeType;
  int auxInt2;
  // timeDataEnd - timeDataBegin. Left without a value by the original
  // record; started at 0 here so a fresh dataset is fully defined.
  int64_t timeDataLength;
  int64_t timeDataBegin;
  int64_t timeDataEnd;
  int64_t timePtOffset;
  int64_t auxLong1;
  int64_t timeStep;
  double auxValue1;
  double auxValue2;
  double auxFactor1;
  double auxFactor2;
  int64_t auxLong2;
  double freqFirstHz;
  double freqLastHz;
  int freqAxisLog;
  double freqStepHz;
  double freqRatio;
  int auxInt3;
  int resultType;
  int auxInt4;
  int64_t selTimeBegin;
  int64_t selTimeEnd;
  int64_t selFreqBegin;
  int64_t selFreqEnd;
  int64_t auxLong3;
  int auxInt5;
  int auxInt6;
  int auxInt7;
  int64_t auxLong4;
  int auxInt8;
  int auxInt9;
  CString cxcType;
  int auxInt10;
  int auxInt11;
  double delay;
  // Host value; started at 0 (the original record left it unset).
  int auxInt12;
  CMMatrix1Dzq freqProfile;
  CMMatrix1Dzq timeProfile;
  CString trialName;
  bool iconFlag;
  int listItemId;
  int64_t timePt;
  int64_t freqPt;
  int64_t rowSnsCount;
  int64_t colSnsCount;
  // rowSnsCount row entries, each null or an array of colSnsCount pairs made
  // with array new. Owned.
  CSpctmChnChnDatazq** pairMatrix;
  int64_t curActSns;
  int64_t curCxcSns;
  int hasRealPlane;
  int hasImagPlane;
  int hasPowerPhasePlane;
  // Summary per data type: 0 real, 1 imaginary, 2 power/phase.
  CSumCCSpctmDatazq summaryByDataType[3];
  // Progress target of the host; not owned, may be null.
  CDialog* progressDlg;
  // Host string that receives the progress texts; not owned, may be null.
  CString* progressText;
  CString dataTypeName[3];

  // Defaults of every field; no matrix, empty summaries.
  CSpctmTrlCCData();
  // Clears the summaries and releases the matrix.
  ~CSpctmTrlCCData();
  // Deep copy: the matrix (every pair with its planes), the summaries and the
  // profiles are duplicated, so two datasets never release the same storage;
  // the progress pointers are copied as they are (not owned). If the matrix
  // cannot be copied (the table or a row: "Is memory enough?!"; a pair's
  // planes: the pair's own message) the copy has no matrix and counts 0.
  CSpctmTrlCCData(const CSpctmTrlCCData& other);
  // Deep copy as above. The old matrix is released before the new one is
  // built, so a large dataset is never held twice.
  CSpctmTrlCCData& operator=(const CSpctmTrlCCData& other);

  // cleanAll on the three summaries; always 1.
  int _cleanSumCCSpctmData();
  // The summary of dataType 0, 1 or 2; null for any other value.
  CSumCCSpctmDatazq* getSumCCSpctmData(int dataType);
  // _cleanSumCCSpctmData then _cleanSpctmCC; always 1.
  int _cleanAll();
  // Releases the matrix and sets rowSnsCount and colSnsCount to 0; always 1.
  // Current sensors, extents and plane flags stay as they are.
  int _cleanSpctmCC();

  // 1 when all extents are >= 1, the sensor counts match, the matrix exists
  // and pair (0, 0) has the extents and the asked planes; else 0.
  int verifySpctmCCData(int64_t rowSns, int64_t colSns, int64_t timePt, int64_t freqPt,
                        int needImag, int needPowerPhase);
  // Builds the matrix of rowSns x colSns pairs with planes of timePt x freqPt,
  // or re-initialises the pairs in place when the sensor counts are unchanged.
  // Remembers the progress pointers first. Returns 1; 0 on an extent below 1
  // (nothing else changed) or an allocation failure (no matrix left, counts
  // and current sensors 0, an error notice posted). The error notice names
  // the row count as it then stands (0) and the number of pairs initialised
  // in this call plus one (counted while a new matrix is built), which tells
  // the user how far the build got.
  int checkInitSpctmCCData(int64_t rowSns, int64_t colSns, int64_t timePt, int64_t freqPt,
                           bool zeroFill, int withImag, int withPowerPhase,
                           CDialog* progressDlg, CString* progressText);
  // As checkInitSpctmCCData with the sensor counts, extents and plane flags of
  // `source` (zero filling on) and the progress pointers stored here; the
  // source's pairs are not read. 0 when source is null.
  int checkInitSpctmCCDataP(CSpctmTrlCCData* source);

  // listItemId.
  int getSpctmTrlListID();
  // curActSns clamped into the rows and stored back; -1 without a matrix
  // (or without rows).
  int64_t getActSns();
  // curCxcSns clamped into the columns and stored back; -1 without a matrix
  // (or without columns).
  int64_t getSnsCC();
  // Pair (actSns, cxcSns); -1 stands for the current sensor and both indices
  // are clamped into the matrix (not stored). Null without a matrix, without
  // rows or columns, or when the row is absent.
  CSpctmChnChnDatazq* getSnsActCC(int64_t actSns, int64_t cxcSns);
  // 1 when storeType is 1 (accumulated data), else 0.
  int isAccumSpctm();
  // Sum and count of the cells of a box of one pair (the pair's
  // getSelectSpctmValueX). -1 picks the current sensor; indices outside the
  // matrix are not clamped and give 0, as does a missing matrix or row; value
  // and index are then left untouched.
  int64_t getSelectSpctmCCDValueX(int64_t timeBegin, int64_t timeEnd, int64_t freqBegin,
                                  int64_t freqEnd, int64_t actSns, int64_t cxcSns, int dataType,
                                  double& value, int64_t& index);
  // Megabytes the planes of a sensorCount x sensorCount matrix would take:
  // timePt * freqPt * 8 bytes per plane, doubled for the imaginary and again
  // for the power/phase plane. 0.0 when a count is below 1.
  double estimateDataSizeMB(int64_t sensorCount, int64_t timePt, int64_t freqPt, bool zeroFill,
                            int withImag, int withPowerPhase);
  // Multiplies every plane of every pair by factor (summaries untouched).
  // 0 without a matrix, else 1.
  int scaleSpctmAllDataType4Class(double factor);
  // Steps the selection to the next cell (time fastest, wrapping) and makes
  // it a one-cell box. 0 without a matrix, else 1.
  int animateCCDSpctmPx();
  // Mean of the selected box of a pair resolved as getSnsActCC does; 0.0
  // without a matrix or pair.
  double getValueSelectTimFrq(int64_t actSns, int64_t cxcSns, int dataType);
  // Restores every pair from its raw backup; the number of pairs restored.
  int64_t reloadSpctmDataTrl();
  // Posts the progress notice "Spectral CxC initialization(...)" for
  // total / index + 1. 1 when posted, 0 when the progress target is missing,
  // hidden or has no text.
  int updateProInfo(int64_t total, int64_t index);

  // Value ranges. Each writes a minimum and a maximum through the pointers
  // (signed variants start them at -1.0 / 1.0, absolute ones at 0.0 / 1.0)
  // and returns 0 for a null pointer, an invalid dataType or an index outside
  // the matrix, else 1. recompute 0 lets an operation return its cache.

  // Over every pair. Cache: the summary's minValue/maxValue when it is
  // computed; a scan stores its result there and in each pair's rangeMin/Max.
  int getSpctmRange4AllChnl(double* pMin, double* pMax, int recompute, int dataType);
  // Absolute values over every pair. Cache: the summary's absMinValue /
  // absMaxValue, used whenever recompute is 0.
  int getSpctmRange4AllChnlAbs(double* pMin, double* pMax, int recompute, int dataType);
  // Over the pairs of one row (-1: current row); returns the dataset-wide
  // summary cache instead when that is computed and recompute is 0.
  int getSpctmRange4ChnlArray(double* pMin, double* pMax, int recompute, int dataType, int row);
  // Absolute values over the pairs of one row (-1: current row); no cache.
  int getSpctmRange4ChnlArrayAbs(double* pMin, double* pMax, int recompute, int dataType,
                                 int row);
  // One pair (no -1 shorthand); cache: the pair's rangeMin/rangeMax.
  int getSpctmRange4ChnlChnl(double* pMin, double* pMax, int recompute, int dataType, int row,
                             int column);
  // Absolute values of one pair; -1 picks the current sensor and indices are
  // clamped into the matrix. Always scans.
  int getSpctmRange4ChnlChnlAbs(double* pMin, double* pMax, int recompute, int dataType,
                                int row, int column);
  // show 0: one pair as getSpctmRange4ChnlChnl; 1, 2, 3: the summary's
  // cellMean, cellMin, cellMax. Any other show gives 0.
  int getSpctmRange4OneChnlShow(double* pMin, double* pMax, int recompute, int dataType,
                                int row, int column, int show);
  // As getSpctmRange4OneChnlShow with absolute values (show 0 as
  // getSpctmRange4ChnlChnlAbs).
  int getSpctmRange4OneChnlShowAbs(double* pMin, double* pMax, int recompute, int dataType,
                                   int row, int column, int show);
};

namespace megcxc {

// checkInitSpctmCCDataP with the zero fill chosen by the caller: one that
// writes every cell of every plane afterwards saves a pass over the matrix.
// Without it, cells of planes that are reused or new hold whatever they held
// and absent rows of reused planes stay absent.
int initSpctmCCDataLike(CSpctmTrlCCData& ds, CSpctmTrlCCData* source, bool zeroFill);

}  // namespace megcxc
