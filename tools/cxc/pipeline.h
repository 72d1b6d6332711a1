// Processing steps of `cxc process` and `cxc demo`, each one call (or one
// loop of calls) into the library, plus the small inspections the tool
// prints: where the largest value of a plane lies, which planes the pairs of
// a dataset hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cxc/archive_io.h"

namespace cxc {

enum class StepKind {
  selectClass,   // --class: aim the following per-dataset steps (-1: every dataset)
  selectType,    // --type: the plane of the following --log / --root-strip
  magnitude,     // --magnitude[=plain|real-sign|imag-sign]
  phase,         // --phase
  log,           // --log
  scale,         // --scale X
  zeroDiagonal,  // --zero-diagonal
  accumulate,    // --accumulate time|freq|both
  actCtl,        // --act-ctl A-C|A+C|A*C|A/C
  rmsNormalise,  // --rms-normalise CLASS
  rootStrip,     // --root-strip BEGIN END FACTOR
  nanToZero,     // --nan-to-zero
  summaries,     // --summaries
  restoreRaw     // --restore-raw
};

struct Step {
  StepKind kind = StepKind::magnitude;
  // selectClass: class or -1; selectType: data type; magnitude: polarity
  // mode; accumulate: 0 time, 1 freq, 2 both; actCtl: operation code;
  // rmsNormalise: class.
  int code = 0;
  // scale: factor in [0]; rootStrip: begin, end (exclusive), factor.
  double values[3] = {0.0, 0.0, 0.0};
};

// Parse the value of --magnitude (plain, real-sign, imag-sign -> 0, 1, 2),
// --accumulate (time, freq, both -> 0, 1, 2) and --act-ctl (A-C, A+C, A*C,
// A/C in any case -> 0 .. 3); false, with the output unchanged, for any other
// text.
bool parseMagnitudeMode(const std::string& text, int& mode);
bool parseAccumulateAxis(const std::string& text, int& axis);
bool parseActCtlOperation(const std::string& text, int& operation);
const char* actCtlOperationName(int operation);

// Where the per-dataset steps go and which plane the plane steps use.
struct StepTarget {
  int spctmClass = -1;  // -1: every dataset present
  int dataType = 2;     // power/phase
};

// Applies one step to the collection; returns a short description of what
// was done. Throws Error (refused) naming `file` when the library refuses
// (its message has been shown by then) or a targeted dataset is missing. A
// declined Yes/No question is reported with the option that agrees to it.
std::string applyStep(Collection& collection, const Step& step, StepTarget& target, MessageConsole& console,
                      const std::string& file);

// Combines active and control into the active-control dataset with
// `operation` (0 A-C ... 3 A/C) and gives the result the active dataset's
// axes and a name; throws like applyStep.
void combineActiveControl(Collection& collection, int operation, MessageConsole& console, const std::string& file);

// The largest value of plane `dataType` over the pairs of a dataset, with its
// position; `skipDiagonal` leaves out the pairs of a sensor with itself. NaN
// cells are ignored. found is false when no cell was seen.
struct PlanePeak {
  bool found = false;
  int64_t row = 0;
  int64_t column = 0;
  int64_t timeIndex = 0;
  int64_t freqIndex = 0;
  double value = 0.0;
};
PlanePeak findPlanePeak(Dataset& dataset, int dataType, bool skipDiagonal);

// How many pairs of a dataset hold each working plane and each raw plane.
struct PlaneCensus {
  int64_t pairs = 0;
  int64_t working[3] = {0, 0, 0};
  int64_t raw[3] = {0, 0, 0};
  int64_t extentMismatch = 0;  // pairs whose extents differ from the dataset's
};
PlaneCensus countPlanes(Dataset& dataset);

}  // namespace cxc
