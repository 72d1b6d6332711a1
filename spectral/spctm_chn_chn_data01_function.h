// CSpctmChnChnData01Function: quantities derived from the working planes of a
// channel pair: the power/phase plane (magnitude, signed magnitude or phase),
// scaling of one plane and the standard deviation over time per frequency.
// The real and imaginary planes are never changed here.
#pragma once

#include <cstdint>

#include "spectral/spctm_chn_chn_data.h"

class CSpctmChnChnData01Function : public CSpctmChnChnData {
 public:
  // Fills the power/phase plane (allocated when absent) with the magnitude:
  // |real| without an imaginary plane (result 1), sqrt(real^2 + imag^2) with
  // one (result 2). 0 when there is no real plane or the record is empty, or
  // when the power/phase plane cannot be allocated ("Has enough memory?").
  int computeMagnitude();
  // The same with the phase: atan(real) without an imaginary plane (result 1),
  // atan2(imag, real) with one (result 2).
  int computePhase();
  // Computes the magnitude, then gives it the sign of the real part (mode 1)
  // or of the imaginary part (mode 2) by multiplying with part / |part| (a
  // part of 0.0 makes the cell NaN); any other mode keeps the magnitude. 0 when
  // the magnitude fails. Mode 2 on a record without an imaginary plane returns
  // 0 and leaves the plain magnitude in the power/phase plane: no sign can be
  // taken from a plane that does not exist.
  int setPolarity2Magnitude(int mode);
  // Multiplies every cell of plane[dataType] by `factor`. 0 for an invalid
  // dataType, an absent plane or an empty record. The raw backup and the
  // cached range stay.
  int scaleSpctm(double factor, int dataType);
  // Population standard deviation over time of every frequency of the real
  // (R), imaginary (I) or power/phase (X) plane. `count` -1 first becomes
  // freqPt; then null when the plane is absent or the record empty; otherwise
  // `count` is clamped to 1 ... freqPt and an array of `count` doubles (array
  // new, owned and deleted[] by the caller) receives frequency f's deviation in
  // element f % count, later frequencies overwriting earlier ones. Null when
  // the array cannot be allocated (no message).
  double* getStdR_T1Fn(int64_t& count) const;
  double* getStdI_T1Fn(int64_t& count) const;
  double* getStdX_T1Fn(int64_t& count) const;

  // computeMagnitude, setPolarity2Magnitude and computePhase in two halves,
  // for a pass over many pairs that prepares every pair on the calling
  // thread (allocations and messages in pair order) and then computes the
  // cells on worker threads. preparePowerPhase() is false where those
  // operations return 0 before computing (no real plane, an empty record, no
  // memory for the power/phase plane: "Has enough memory?"). After it
  // returned true, powerPhaseReady() is true and the cell halves finish the
  // operation with its result; they allocate nothing and show nothing.
  bool preparePowerPhase();
  bool powerPhaseReady() const;
  int magnitudeCells();
  int polarityMagnitudeCells(int mode);
  int phaseCells();

 private:
  // Makes plane[2] a plane of the working extents (allocated when absent) with
  // every row present; false after "Has enough memory?".
  bool preparePowerPhasePlane();
  double* stdOverTime(int dataType, int64_t& count) const;
};
