#include "host/steps.h"

#include <cstdio>
#include <utility>

#include "host/names.h"
#include "platform/message_box.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::host {

namespace {

// Records every message shown while alive and passes it on to the handler
// that was installed before; Yes/No questions are answered here unless the
// consent is `ask`.
class MessageLog {
 public:
  MessageLog(Outcome& outcome, Consent consent) : outcome_(outcome), consent_(consent) {
    previous_ = setMessageBoxHandler([this](const CString& text, unsigned type) { return handle(text, type); });
  }
  ~MessageLog() { setMessageBoxHandler(std::move(previous_)); }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  bool declined() const { return declined_; }

 private:
  int handle(const CString& text, unsigned type) {
    std::string line = text.toUtf8();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    const bool question = (type & 0x000F) == MB_YESNO;
    if (question && consent_ != Consent::ask) {
      outcome_.messages.push_back(line + (consent_ == Consent::yes ? " -> Yes" : " -> No"));
      outcome_.answered.push_back(outcome_.messages.back());
      declined_ = declined_ || consent_ == Consent::no;
      return consent_ == Consent::yes ? IDYES : IDNO;
    }
    const int answer = previous_ ? previous_(text, type) : defaultMessageBoxHandler(text, type);
    if (question) {
      outcome_.messages.push_back(line + (answer == IDYES ? " -> Yes" : " -> No"));
      declined_ = declined_ || answer != IDYES;
    } else {
      outcome_.messages.push_back(line);
    }
    return answer;
  }

  Outcome& outcome_;
  Consent consent_;
  bool declined_ = false;
  MessageBoxHandler previous_;
};

using Target = std::pair<int, Dataset*>;

// Counts a step's rows for its StepProgress. Cheap enough for a pair loop: a
// comparison per pair, a report per row.
class RowTicker {
 public:
  RowTicker(const StepProgress& progress, int64_t total) : progress_(progress), total_(total) {}
  // Rows before `row` of the current dataset are done.
  void atRow(int64_t row) {
    if (progress_ && row != row_) {
      row_ = row;
      if (row > 0) progress_(base_ + row, total_);
    }
  }
  // The current dataset (of `rows` rows) is done.
  void datasetDone(int64_t rows) {
    base_ += rows;
    row_ = -1;
    if (progress_) progress_(base_, total_);
  }

 private:
  const StepProgress& progress_;
  int64_t total_, base_ = 0, row_ = -1;
};

int64_t rowsOf(const std::vector<Target>& targets) {
  int64_t rows = 0;
  for (const Target& t : targets) rows += t.second->rowSnsCount;
  return rows;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

Outcome refusedWith(Outcome& o, Refusal why, std::string text) {
  o.done = false;
  o.refusal = why;
  o.text = std::move(text);
  return o;
}

Outcome doneWith(Outcome& o, std::string text) {
  o.done = true;
  o.refusal = Refusal::none;
  o.text = std::move(text);
  return o;
}

std::string noDataset(int spctmClass) { return std::string("the collection holds no ") + classKey(spctmClass) + " dataset"; }

// The datasets a per-dataset step works on; empty after setting the refusal.
std::vector<Target> targetsOf(Collection& c, const Step& step, Outcome& o) {
  std::vector<Target> out;
  if (step.spctmClass >= 0) {
    if (step.spctmClass >= kClassCount || !c.trialByClass[step.spctmClass]) {
      refusedWith(o, Refusal::noDataset, noDataset(step.spctmClass));
      return out;
    }
    out.emplace_back(step.spctmClass, c.trialByClass[step.spctmClass]);
  } else {
    for (int k = 0; k < kClassCount; ++k) {
      if (c.trialByClass[k]) out.emplace_back(k, c.trialByClass[k]);
    }
    if (out.empty()) {
      refusedWith(o, Refusal::noDataset, "the collection holds no dataset");
      return out;
    }
  }
  for (const Target& t : out) {
    const Dataset& d = *t.second;
    if (!d.pairMatrix || d.rowSnsCount < 1 || d.colSnsCount < 1) {
      refusedWith(o, Refusal::noPairs, std::string("the ") + classKey(t.first) + " dataset has no channel pairs");
      return {};
    }
  }
  return out;
}

std::string onList(const std::vector<Target>& targets) {
  std::string s = " on ";
  for (std::size_t i = 0; i < targets.size(); ++i) s += (i ? ", " : "") + std::string(classKey(targets[i].first));
  return s;
}

// Runs `op` on every pair of each target; pairs in absent rows and pairs for
// which op returns 0 count as failed.
template <class Op>
int64_t failedPairs(Dataset& d, RowTicker& ticker, Op op) {
  int64_t failed = 0;
  failed += forEachPair(d, [&](int64_t r, int64_t, CSpctmChnChnDatazq& p) {
    ticker.atRow(r);
    if (!op(p)) ++failed;
  });
  ticker.datasetDone(d.rowSnsCount);
  return failed;
}

// True when every pair of the targets holds plane `dataType`; otherwise the
// refusal names the first dataset with pairs that lack it, so that a step
// that needs the plane everywhere changes nothing.
bool everyPairHolds(const std::vector<Target>& targets, int dataType, Outcome& o) {
  for (const Target& t : targets) {
    int64_t lacking = 0;
    const int64_t absent = forEachPair(*t.second, [&](int64_t, int64_t, const CSpctmChnChnDatazq& p) {
      lacking += p.plane[dataType] == nullptr || p.timePt < 1 || p.freqPt < 1;
    });
    lacking += absent;
    if (lacking > 0) {
      refusedWith(o, Refusal::missingPlane,
                  std::to_string(lacking) + " pair(s) of the " + classKey(t.first) + " dataset have no " +
                      dataTypeKey(dataType) + " plane");
      return false;
    }
  }
  return true;
}

Outcome runActCtl(Collection& c, const Step& step, Outcome& o, const StepProgress& progress) {
  if (!c.trialByClass[0] || !c.trialByClass[1]) {
    return refusedWith(o, Refusal::noDataset, "the active-control operation needs both an active and a control dataset");
  }
  const bool existed = c.trialByClass[2] != nullptr;
  c.actCtlOperation = step.code;
  int ok = 0;
  bool declined = false;
  {
    MessageLog log(o, step.consent);
    ok = c.doAct_Ctl_operation();
    declined = log.declined();
  }
  if (!ok) {
    if (declined) {
      return refusedWith(o, Refusal::declined,
                         "the control dataset has " + std::to_string(c.trialByClass[1]->timePt) +
                             " time points and collapsing it over time was declined");
    }
    return refusedWith(o, Refusal::library, "the library refused the active-control operation");
  }
  if (!c.trialByClass[2]) return refusedWith(o, Refusal::library, "the active-control operation left no result");
  describeActCtlResult(c, !existed);
  if (progress) progress(c.trialByClass[2]->rowSnsCount, c.trialByClass[2]->rowSnsCount);
  return doneWith(o, std::string("active-control ") + actCtlOperationName(step.code));
}

Outcome runPerDataset(Collection& c, const Step& step, Outcome& o, const StepProgress& progress) {
  const std::vector<Target> targets = targetsOf(c, step, o);
  if (targets.empty()) return o;
  RowTicker ticker(progress, rowsOf(targets));
  const std::string on = onList(targets);
  const std::string plane = dataTypeKey(step.dataType);
  MessageLog log(o, step.consent);

  switch (step.kind) {
    case StepKind::magnitude:
      for (const Target& t : targets) {
        if (!t.second->computeMagnitude(step.code)) {
          return refusedWith(o, Refusal::library, std::string("magnitude of the ") + classKey(t.first) + " dataset was refused");
        }
        t.second->checkDataIntegraty();
        ticker.datasetDone(t.second->rowSnsCount);
      }
      return doneWith(o, std::string("magnitude (") + magnitudeModeKey(step.code) + ")" + on);
    case StepKind::phase:
      for (const Target& t : targets) {
        if (!t.second->computePhase()) {
          return refusedWith(o, Refusal::library, std::string("phase of the ") + classKey(t.first) + " dataset was refused");
        }
        t.second->checkDataIntegraty();
        ticker.datasetDone(t.second->rowSnsCount);
      }
      return doneWith(o, "phase" + on);
    case StepKind::log:
      if (!everyPairHolds(targets, step.dataType, o)) return o;
      for (const Target& t : targets) {
        const int type = step.dataType;
        failedPairs(*t.second, ticker, [type](CSpctmChnChnDatazq& p) { return p.transformSpctm2log(type); });
      }
      return doneWith(o, "natural logarithm of the " + plane + " plane" + on);
    case StepKind::scale:
      for (const Target& t : targets) {
        t.second->scaleSpctmAllDataType4Class(step.values[0]);
        ticker.datasetDone(t.second->rowSnsCount);
      }
      return doneWith(o, "scaled by " + number(step.values[0]) + on);
    case StepKind::zeroDiagonal:
      for (const Target& t : targets) {
        t.second->zeroDiagnonal();
        ticker.datasetDone(t.second->rowSnsCount);
      }
      return doneWith(o, "diagonal zeroed" + on);
    case StepKind::accumulate:
      for (const Target& t : targets) {
        Dataset* d = t.second;
        const int ok = step.code == 0 ? d->accumulateTime1() : step.code == 1 ? d->accumulateFreq1() : d->accumulateTimeFreq1();
        if (!ok) {
          return refusedWith(o, Refusal::library,
                             std::string("collapsing the ") + classKey(t.first) + " dataset over " + axisWords(step.code) +
                                 " was refused");
        }
        ticker.datasetDone(d->rowSnsCount);
      }
      return doneWith(o, std::string("collapsed over ") + axisWords(step.code) + on);
    case StepKind::rootStrip: {
      const auto begin = static_cast<int64_t>(step.values[0]);
      const auto end = static_cast<int64_t>(step.values[1]);
      const double factor = step.values[2];
      const int type = step.dataType;
      if (!everyPairHolds(targets, type, o)) return o;
      for (const Target& t : targets) {
        const int64_t failed =
            failedPairs(*t.second, ticker, [&](CSpctmChnChnDatazq& p) { return p.rootStrip(begin, end, factor, type); });
        if (failed) {
          return refusedWith(o, Refusal::missingPlane,
                             std::to_string(failed) + " pair(s) of the " + classKey(t.first) + " dataset were refused (no " +
                                 plane + " plane or an empty baseline window)");
        }
      }
      return doneWith(o, "root strip of the " + plane + " plane, baseline time points " + std::to_string(begin) + ".." +
                             std::to_string(end - 1) + ", factor " + number(factor) + on);
    }
    case StepKind::nanToZero:
      for (const Target& t : targets) {
        forEachPair(*t.second, [&ticker](int64_t r, int64_t, CSpctmChnChnDatazq& p) {
          ticker.atRow(r);
          for (int d = 0; d < kDataTypeCount; ++d) {
            if (p.plane[d]) p.setSpctmNAN2zero(d);
          }
        });
        ticker.datasetDone(t.second->rowSnsCount);
      }
      return doneWith(o, "NaN and infinite values set to 0" + on);
    case StepKind::summaries: {
      int made = 0;
      for (const Target& t : targets) {
        int64_t pairs = 0;
        int64_t holding[kDataTypeCount] = {0, 0, 0};
        forEachPair(*t.second, [&](int64_t, int64_t, const CSpctmChnChnDatazq& p) {
          ++pairs;
          for (int d = 0; d < kDataTypeCount; ++d) holding[d] += p.plane[d] != nullptr;
        });
        for (int d = 0; d < kDataTypeCount; ++d) {
          if (pairs == 0 || holding[d] != pairs) continue;
          if (!c.cmpSumCCSpctmData(t.second, t.first, d)) {
            return refusedWith(o, Refusal::library,
                               std::string("the ") + dataTypeKey(d) + " summary of the " + classKey(t.first) +
                                   " dataset was refused");
          }
          ++made;
        }
        ticker.datasetDone(t.second->rowSnsCount);
      }
      return doneWith(o, "summaries (" + std::to_string(made) + " records)" + on);
    }
    case StepKind::restoreRaw: {
      int64_t restored = 0;
      for (const Target& t : targets) {
        restored += t.second->reloadSpctmDataTrl();
        t.second->checkDataIntegraty();
        ticker.datasetDone(t.second->rowSnsCount);
      }
      return doneWith(o, "raw data restored in " + std::to_string(restored) + " pairs" + on);
    }
    case StepKind::cutValues:
    case StepKind::cutBox: {
      if (!everyPairHolds(targets, step.dataType, o)) return o;
      const Step& s = step;
      for (const Target& t : targets) {
        failedPairs(*t.second, ticker, [&s](CSpctmChnChnDatazq& p) {
          return s.kind == StepKind::cutValues
                     ? p.cutSpctmDataExtrama(s.values[0], s.values[1], s.values[2], s.dataType)
                     : p.cutSpctmSelect(s.box[0], s.box[1], s.box[2], s.box[3], s.values[0], s.dataType);
        });
      }
      if (step.kind == StepKind::cutValues) {
        return doneWith(o, "cells of the " + plane + " plane outside " + number(step.values[0]) + " .. " +
                               number(step.values[1]) + " set to " + number(step.values[2]) + on);
      }
      return doneWith(o, "cells of the " + plane + " plane in time points " + std::to_string(step.box[0]) + ".." +
                             std::to_string(step.box[1]) + ", frequency points " + std::to_string(step.box[2]) + ".." +
                             std::to_string(step.box[3]) + " set to " + number(step.values[0]) + on);
    }
    default:
      return refusedWith(o, Refusal::library, "unknown step");
  }
}

}  // namespace

Step stepOf(StepKind kind, int spctmClass) {
  Step s;
  s.kind = kind;
  s.spctmClass = spctmClass;
  return s;
}

Step magnitudeStep(int mode, int spctmClass) {
  Step s = stepOf(StepKind::magnitude, spctmClass);
  s.code = mode;
  return s;
}
Step phaseStep(int spctmClass) { return stepOf(StepKind::phase, spctmClass); }
Step logStep(int dataType, int spctmClass) {
  Step s = stepOf(StepKind::log, spctmClass);
  s.dataType = dataType;
  return s;
}
Step scaleStep(double factor, int spctmClass) {
  Step s = stepOf(StepKind::scale, spctmClass);
  s.values[0] = factor;
  return s;
}
Step zeroDiagonalStep(int spctmClass) { return stepOf(StepKind::zeroDiagonal, spctmClass); }
Step accumulateStep(int axis, int spctmClass) {
  Step s = stepOf(StepKind::accumulate, spctmClass);
  s.code = axis;
  return s;
}
Step actCtlStep(int operation, Consent consent) {
  Step s = stepOf(StepKind::actCtl, -1);
  s.code = operation;
  s.consent = consent;
  return s;
}
Step rmsNormaliseStep(int spctmClass) { return stepOf(StepKind::rmsNormalise, spctmClass); }
Step rootStripStep(int64_t begin, int64_t end, double factor, int dataType, int spctmClass) {
  Step s = stepOf(StepKind::rootStrip, spctmClass);
  s.values[0] = static_cast<double>(begin);
  s.values[1] = static_cast<double>(end);
  s.values[2] = factor;
  s.dataType = dataType;
  return s;
}
Step nanToZeroStep(int spctmClass) { return stepOf(StepKind::nanToZero, spctmClass); }
Step summariesStep(int spctmClass) { return stepOf(StepKind::summaries, spctmClass); }
Step restoreRawStep(int spctmClass) { return stepOf(StepKind::restoreRaw, spctmClass); }
Step cutValuesStep(double low, double high, double fill, int dataType, int spctmClass) {
  Step s = stepOf(StepKind::cutValues, spctmClass);
  s.values[0] = low;
  s.values[1] = high;
  s.values[2] = fill;
  s.dataType = dataType;
  return s;
}
Step cutBoxStep(int64_t timeFirst, int64_t timeLast, int64_t freqFirst, int64_t freqLast, double fill, int dataType,
                int spctmClass) {
  Step s = stepOf(StepKind::cutBox, spctmClass);
  s.box[0] = timeFirst;
  s.box[1] = timeLast;
  s.box[2] = freqFirst;
  s.box[3] = freqLast;
  s.values[0] = fill;
  s.dataType = dataType;
  return s;
}

void describeActCtlResult(Collection& c, bool created) {
  Dataset* active = c.trialByClass[0];
  Dataset* result = c.trialByClass[2];
  if (!active || !result) return;
  result->setParameters(active);
  result->cxcType = active->cxcType;
  result->storeType = active->storeType;
  if (created) result->trialName = classDatasetName(2);
  // The result's pairs stand for the same sensor pairs as the active ones.
  if (result->pairMatrix && result->rowSnsCount == active->rowSnsCount && result->colSnsCount == active->colSnsCount) {
    forEachPair(*active, [result](int64_t r, int64_t col, const CSpctmChnChnDatazq& from) {
      if (CSpctmChnChnDatazq* row = result->pairMatrix[r]) {
        row[col].chnA = from.chnA;
        row[col].chnB = from.chnB;
      }
    });
  }
  result->checkDataIntegraty();
}

Outcome applyStep(Collection& c, const Step& step, const StepProgress& progress) {
  Outcome o;
  if (step.kind == StepKind::actCtl) {
    if (step.code < 0 || step.code >= kActCtlOperationCount) {
      return refusedWith(o, Refusal::library, "unknown active-control operation " + std::to_string(step.code));
    }
    return runActCtl(c, step, o, progress);
  }
  if (step.kind == StepKind::rmsNormalise) {
    if (step.spctmClass < 0 || step.spctmClass >= kClassCount || !c.trialByClass[step.spctmClass]) {
      return refusedWith(o, Refusal::noDataset, noDataset(step.spctmClass));
    }
    MessageLog log(o, step.consent);
    if (!c.normSpctmCCData_rootMeanSquare(step.spctmClass)) {
      return refusedWith(o, Refusal::library,
                         std::string("RMS normalisation of the ") + classKey(step.spctmClass) +
                             " dataset was refused (it needs real and imaginary planes of non-zero RMS)");
    }
    const int64_t rows = c.trialByClass[step.spctmClass]->rowSnsCount;
    if (progress) progress(rows, rows);
    return doneWith(o, std::string("RMS normalisation of ") + classKey(step.spctmClass));
  }
  if ((step.kind == StepKind::magnitude && (step.code < 0 || step.code > 2)) ||
      (step.kind == StepKind::accumulate && (step.code < 0 || step.code > 2))) {
    return refusedWith(o, Refusal::library, "unknown mode or axis " + std::to_string(step.code));
  }
  if ((step.kind == StepKind::log || step.kind == StepKind::rootStrip || step.kind == StepKind::cutValues ||
       step.kind == StepKind::cutBox) &&
      (step.dataType < 0 || step.dataType >= kDataTypeCount)) {
    return refusedWith(o, Refusal::missingPlane, "unknown data type " + std::to_string(step.dataType));
  }
  return runPerDataset(c, step, o, progress);
}

}  // namespace megcxc::host
