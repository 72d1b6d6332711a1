// CSpctmChnChnData: the time x frequency cross-spectral data of one sensor pair
// (sensor chnA -> sensor chnB).
//
// A record holds up to three working planes (real, imaginary, power/phase;
// index = data type 0, 1, 2) of timePt x freqPt cells and a raw backup of the
// same three planes (rawTimePt x rawFreqPt) from which processing is undone.
// Planes are CSpctmBasicx planes: one block each, row pointers into it.
//
// Invariants: a plane pointer is null or a complete plane of the record's
// extents for that plane set; timePt and freqPt are >= 1 whenever a working
// plane is present. Every operation keeps them, also when it fails.
//
// Absent rows: a plane read from an archive may have null row pointers. Their
// cells still exist in the block (the reader zero-fills them), and every cell
// pass of the record works on the block, so such a row reads as 0.0 and never
// as a null pointer. Copies keep the same rows absent; storing writes them as
// absent rows.
#pragma once

#include <cstdint>

#include "spectral/spctm_basicx.h"

class CSpctmChnChnData : public CSpctmBasicx {
 public:
  // No planes, extents 0, sensors -1, isSelected true, userTag 0.
  CSpctmChnChnData();
  // Releases all six planes.
  ~CSpctmChnChnData();
  // Deep copy: every plane is copied, so two records never share a plane. A
  // plane that cannot be allocated shows "Has enough memory?" and stays null
  // in the copy (the copy stays consistent, only that plane is missing).
  CSpctmChnChnData(const CSpctmChnChnData& other);
  CSpctmChnChnData& operator=(const CSpctmChnChnData& other);
  // Moves take the planes over; the source is left empty (no planes).
  CSpctmChnChnData(CSpctmChnChnData&& other) noexcept;
  CSpctmChnChnData& operator=(CSpctmChnChnData&& other) noexcept;

  // Releases the working planes and sets timePt and freqPt to 0. Always 1.
  int _cleanSpctmData();
  // Releases the raw backup planes; rawTimePt and rawFreqPt stay. Always 1.
  int _cleanBkSpctmData();

  // Prepares zero-filled working planes of rows x cols: planes of other
  // extents are released first; a missing real plane (and, when asked, a
  // missing imaginary / power-phase plane) is allocated zero-filled; existing
  // ones are zeroed only when `zeroFill`; unasked imaginary / power-phase
  // planes are released. 0 when an extent is below 1 (record left empty) or an
  // allocation fails ("Has enough memory?"; that plane stays null). The raw
  // backup is not touched.
  int checkInitpctmSpace(int64_t rows, int64_t cols, bool zeroFill, int withImag, int withPowerPhase);
  // 1 when rows and cols are >= 1 and equal the record's extents and the
  // imaginary / power-phase planes are present where asked; else 0. The real
  // plane is not tested.
  int verifySpctmData(int64_t rows, int64_t cols, int needImag, int needPowerPhase) const;
  // Writes timePt / freqPt through each non-null pointer (also for an invalid
  // dataType), then returns plane[dataType] or null for a dataType other than
  // 0, 1, 2. The caller may change cells but must not release the plane.
  double** getSpctmDataPtr(int dataType, int64_t* pTimePt, int64_t* pFreqPt) const;

  // Replaces the record's data by copies of the host's rows x cols real and
  // imaginary rows and takes the raw backup; the power/phase plane is absent
  // afterwards. 0 when an extent is below 1, a row table or row is null, or an
  // allocation fails ("Has enough memory?"): the record is then left empty (no
  // working planes, extents 0). Also 0 when the backup cannot be allocated;
  // the working planes are complete then and the backup holds what was copied.
  int addSpctmData2ChannelCWTri(const double* const* realRows, const double* const* imagRows, int64_t rows,
                                int64_t cols);
  // The same with the real rows only: no imaginary plane and no imaginary raw
  // plane afterwards.
  int addSpctmData2ChannelCWTr(const double* const* realRows, int64_t rows, int64_t cols);
  // Makes the raw backup a copy of the working planes (absent planes absent).
  // 0 without touching the backup when the record is empty; 0 after "Has
  // enough memory?" when a raw plane cannot be allocated (it stays null, the
  // planes copied before stay).
  int storeData2Backupfile();
  // Restores the working planes from the raw backup (the working extents
  // become the raw ones; working planes of other extents are released first;
  // a working plane without raw counterpart is kept). 0 when the backup is
  // empty or an allocation fails ("Has enough memory?").
  int reloadRawSpctmDataRIX();
  // Writes only the power/phase plane into the raw backup; when the raw
  // extents differ from the working ones this is storeData2Backupfile(). 0 when
  // there is no power/phase plane or an allocation fails.
  int storeSpctmResult();

  int64_t rawTimePt;
  int64_t rawFreqPt;
  double** rawPlane[3];
  double rangeMax;
  double rangeMin;
  double spctmAverage;
  int64_t chnA;
  int64_t chnB;
  int64_t timePt;
  int64_t freqPt;
  double** plane[3];
  bool isSelected;
  int userTag;

 protected:
  // plane[dataType] for 0, 1, 2; null for any other value.
  double** planeOf(int dataType) const;
  // The contiguous cells (timePt x freqPt, row-major) of plane[dataType] when
  // dataType is valid, the plane is present and both extents are >= 1; else
  // null. This is the common entry test of the cell operations.
  double* workingCells(int dataType) const;
  // True when any working plane is present.
  bool hasWorkingPlane() const;

 private:
  // True when the working planes the host's rows go to (real, and imaginary
  // when `imagRows` is given) exist with extents rows x cols and none of the
  // `count` rows overlaps a block of this record, so they can be copied in
  // place.
  bool takesRowsInPlace(int64_t rows, int64_t cols, const double* const* realRows, const double* const* imagRows,
                        int64_t count) const;
};
