// Processing steps as values: what the command line's options, the manager's
// buttons and the Python package's methods turn into, run by one function so
// that every front end gets the same result for the same steps.
//
// A step reports a small Outcome (done, or refused with the reason and the
// texts the library showed) instead of wording anything for a particular
// front end; the library's own messages still go through AfxMessageBox while
// the step runs (to the host's handler), and are recorded in the Outcome too.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/collection_file.h"

namespace megcxc::host {

enum class StepKind {
  magnitude,     // the power/phase plane becomes the magnitude; code: polarity mode
  phase,         // the power/phase plane becomes the phase (radians)
  log,           // natural logarithm of plane dataType
  scale,         // every plane times values[0]
  zeroDiagonal,  // the pairs of a sensor with itself become 0
  accumulate,    // collapse by the mean; code: axis (0 time, 1 frequency, 2 both)
  actCtl,        // active and control into act-ctl; code: operation (0 A-C .. 3 A/C)
  rmsNormalise,  // divide the class dataset spctmClass (required) by its RMS
  rootStrip,     // plane dataType divided by its mean over time points values[0] .. values[1]-1, times values[2]
  nanToZero,     // NaN and infinite values of every plane become 0
  summaries,     // the class summaries of every plane that every pair holds
  restoreRaw,    // every pair back to its raw backup
  cutValues,     // cells of plane dataType below values[0] or above values[1] become values[2] (NaN stays)
  cutBox         // cells of plane dataType in time points box[0] .. box[1] and frequency points box[2] ..
                 // box[3] (inclusive, clamped into the grid) become values[0]
};

// How a Yes/No question of the library is answered during a step: passed on
// to the host's message handler (ask), or answered here.
enum class Consent { ask, yes, no };

struct Step {
  StepKind kind = StepKind::magnitude;
  // The class dataset the step works on; -1: every dataset present. Ignored
  // by actCtl; rmsNormalise needs a class.
  int spctmClass = -1;
  // The plane of log and rootStrip.
  int dataType = 2;
  // magnitude: polarity mode; accumulate: axis; actCtl: operation.
  int code = 0;
  // scale: factor; rootStrip: first time point, end (exclusive), factor.
  double values[3] = {0.0, 0.0, 0.0};
  // actCtl: the answer to "collapse the control over time first?".
  Consent consent = Consent::ask;
  // cutBox: first and last time point, first and last frequency point.
  int64_t box[4] = {0, 0, 0, 0};
};

// Named constructors of the steps; stepOf sets only the kind and the class.
Step stepOf(StepKind kind, int spctmClass = -1);
Step magnitudeStep(int mode = 0, int spctmClass = -1);
Step phaseStep(int spctmClass = -1);
Step logStep(int dataType = 2, int spctmClass = -1);
Step scaleStep(double factor, int spctmClass = -1);
Step zeroDiagonalStep(int spctmClass = -1);
Step accumulateStep(int axis, int spctmClass = -1);
Step actCtlStep(int operation, Consent consent);
Step rmsNormaliseStep(int spctmClass);
Step rootStripStep(int64_t begin, int64_t end, double factor, int dataType = 2, int spctmClass = -1);
Step nanToZeroStep(int spctmClass = -1);
Step summariesStep(int spctmClass = -1);
Step restoreRawStep(int spctmClass = -1);
Step cutValuesStep(double low, double high, double fill, int dataType = 2, int spctmClass = -1);
Step cutBoxStep(int64_t timeFirst, int64_t timeLast, int64_t freqFirst, int64_t freqLast, double fill,
                int dataType = 2, int spctmClass = -1);

// Why a step was refused.
enum class Refusal {
  none,
  noDataset,     // the collection lacks a dataset the step needs
  noPairs,       // a dataset has no channel pairs
  missingPlane,  // pairs lack the plane the step works on
  declined,      // a Yes/No question was answered No
  library        // the library refused (its message has been shown)
};

struct Outcome {
  bool done = false;
  Refusal refusal = Refusal::none;
  // Done: what was done, e.g. "magnitude (plain) on active, control".
  // Refused: why, in plain words, e.g. "the collection holds no control
  // dataset".
  std::string text;
  // Every text the library showed while the step ran, in order; a question
  // reads "<question> -> Yes" or "-> No".
  std::vector<std::string> messages;
  // The questions the step's consent answered (not passed on to the host's
  // handler), as "<question> -> Yes" / "-> No".
  std::vector<std::string> answered;
  explicit operator bool() const { return done; }
};

// Reports a step's work in sensor rows of the datasets it works on: (rows
// done, rows in all), from the calling thread, the last call with done ==
// total once the step went through. Per row where the step walks the pairs
// here (log, root strip, NaN to 0, cuts), per dataset where one library pass
// does a whole dataset (magnitude, phase, scale, collapsing, summaries,
// restoring, the diagonal); once at the end for the active-control operation
// and the RMS normalisation. Must not throw: a step is not stopped halfway.
using StepProgress = std::function<void(int64_t done, int64_t total)>;

// Runs one step on the collection.
Outcome applyStep(Collection& collection, const Step& step, const StepProgress& progress = {});

// The active-control step's completion of the dataset it produced: the
// library's operation shapes the act-ctl dataset like the active one but
// leaves its description at the defaults of a new dataset. This gives it the
// active dataset's axes, selection and computation, store and CxC types, the
// channel numbers of the active pairs, and the collection's act-ctl dataset
// name when the operation created it (`created`). Used by applyStep; exposed
// for hosts that run doAct_Ctl_operation themselves.
void describeActCtlResult(Collection& collection, bool created);

}  // namespace megcxc::host
