#include "tools/cxc/pipeline.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

namespace cxc {

namespace {

const char* const kMagnitudeModes[3] = {"plain", "real-sign", "imag-sign"};
const char* const kAxes[3] = {"time", "freq", "both"};
const char* const kAxisNames[3] = {"time", "frequency", "time and frequency"};
const char* const kOperations[4] = {"A-C", "A+C", "A*C", "A/C"};

using Target = std::pair<int, Dataset*>;

// The datasets a per-dataset step works on.
std::vector<Target> targetsOf(Collection& c, const StepTarget& target, const std::string& file) {
  std::vector<Target> out;
  if (target.spctmClass >= 0) {
    Dataset* d = c.trialByClass[target.spctmClass];
    if (!d) refuse(file + ": the collection holds no " + className(target.spctmClass) + " dataset");
    out.emplace_back(target.spctmClass, d);
    return out;
  }
  for (int k = 0; k < kClassCount; ++k) {
    if (c.trialByClass[k]) out.emplace_back(k, c.trialByClass[k]);
  }
  if (out.empty()) refuse(file + ": the collection holds no dataset");
  return out;
}

std::string classList(const std::vector<Target>& targets) {
  std::string s;
  for (const Target& t : targets) {
    if (!s.empty()) s += ", ";
    s += className(t.first);
  }
  return s;
}

void requirePairs(const Target& t, const std::string& file) {
  if (!t.second->pairMatrix || t.second->rowSnsCount < 1 || t.second->colSnsCount < 1) {
    refuse(file + ": the " + std::string(className(t.first)) + " dataset has no channel pairs");
  }
}

// Calls fn(pair) on every pair; returns how many returned 0 (or were missing).
template <class Fn>
int64_t forEachPair(Dataset& d, Fn fn) {
  int64_t failed = 0;
  for (int64_t r = 0; r < d.rowSnsCount; ++r) {
    CSpctmChnChnDatazq* row = d.pairMatrix[r];
    if (!row) {
      failed += d.colSnsCount;
      continue;
    }
    for (int64_t c = 0; c < d.colSnsCount; ++c) {
      if (!fn(row[c])) ++failed;
    }
  }
  return failed;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

bool parseMagnitudeMode(const std::string& text, int& mode) {
  for (int k = 0; k < 3; ++k) {
    if (text == kMagnitudeModes[k]) {
      mode = k;
      return true;
    }
  }
  return false;
}

bool parseAccumulateAxis(const std::string& text, int& axis) {
  for (int k = 0; k < 3; ++k) {
    if (text == kAxes[k]) {
      axis = k;
      return true;
    }
  }
  return false;
}

bool parseActCtlOperation(const std::string& text, int& operation) {
  for (int k = 0; k < 4; ++k) {
    if (equalsIgnoringCase(text, kOperations[k])) {
      operation = k;
      return true;
    }
  }
  return false;
}

const char* actCtlOperationName(int operation) {
  return operation >= 0 && operation < 4 ? kOperations[operation] : "?";
}

void combineActiveControl(Collection& c, int operation, MessageConsole& console, const std::string& file) {
  Dataset* active = c.trialByClass[0];
  Dataset* control = c.trialByClass[1];
  if (!active || !control) refuse(file + ": --act-ctl needs both an active and a control dataset");
  const bool existed = c.trialByClass[2] != nullptr;
  const int64_t controlTimePt = control->timePt;
  c.actCtlOperation = operation;
  console.clearDeclined();
  if (!c.doAct_Ctl_operation()) {
    if (console.declinedQuestion()) {
      refuse(file + ": the control dataset has " + std::to_string(controlTimePt) +
             " time points; add --yes to let --act-ctl collapse it over time first");
    }
    refuse(file + ": the active-control operation was refused (see the message above)");
  }
  Dataset* result = c.trialByClass[2];
  if (!result) refuse(file + ": the active-control operation left no result");
  // The operation shapes the result like the active dataset but leaves its
  // axes at their defaults; the result is read on the active dataset's axes.
  result->setParameters(active);
  result->cxcType = active->cxcType;
  result->storeType = active->storeType;
  if (!existed) result->trialName = "Act-Ctl CxC";
  result->checkDataIntegraty();
}

std::string applyStep(Collection& c, const Step& step, StepTarget& target, MessageConsole& console,
                      const std::string& file) {
  switch (step.kind) {
    case StepKind::selectClass:
      target.spctmClass = step.code;
      return "";
    case StepKind::selectType:
      target.dataType = step.code;
      return "";
    case StepKind::actCtl:
      combineActiveControl(c, step.code, console, file);
      return std::string("active-control ") + actCtlOperationName(step.code);
    case StepKind::rmsNormalise: {
      if (!c.trialByClass[step.code]) {
        refuse(file + ": the collection holds no " + std::string(className(step.code)) + " dataset");
      }
      if (!c.normSpctmCCData_rootMeanSquare(step.code)) {
        refuse(file + ": RMS normalisation of the " + std::string(className(step.code)) +
               " dataset was refused (it needs real and imaginary planes of non-zero RMS)");
      }
      return std::string("RMS normalisation of ") + className(step.code);
    }
    default:
      break;
  }

  const std::vector<Target> targets = targetsOf(c, target, file);
  for (const Target& t : targets) requirePairs(t, file);
  const std::string on = " on " + classList(targets);
  const std::string plane = dataTypeName(target.dataType);

  switch (step.kind) {
    case StepKind::magnitude:
      for (const Target& t : targets) {
        if (!t.second->computeMagnitude(step.code)) {
          refuse(file + ": magnitude of the " + std::string(className(t.first)) + " dataset was refused");
        }
        t.second->checkDataIntegraty();
      }
      return std::string("magnitude (") + kMagnitudeModes[step.code] + ")" + on;
    case StepKind::phase:
      for (const Target& t : targets) {
        if (!t.second->computePhase()) {
          refuse(file + ": phase of the " + std::string(className(t.first)) + " dataset was refused");
        }
        t.second->checkDataIntegraty();
      }
      return "phase" + on;
    case StepKind::log:
      for (const Target& t : targets) {
        const int type = target.dataType;
        const int64_t failed =
            forEachPair(*t.second, [type](CSpctmChnChnDatazq& p) { return p.transformSpctm2log(type); });
        if (failed) {
          refuse(file + ": --log: " + std::to_string(failed) + " pair(s) of the " + className(t.first) +
                 " dataset have no " + plane + " plane" + (type == 2 ? " (add --magnitude first)" : ""));
        }
      }
      return "natural logarithm of the " + plane + " plane" + on;
    case StepKind::scale:
      for (const Target& t : targets) t.second->scaleSpctmAllDataType4Class(step.values[0]);
      return "scaled by " + number(step.values[0]) + on;
    case StepKind::zeroDiagonal:
      for (const Target& t : targets) t.second->zeroDiagnonal();
      return "diagonal zeroed" + on;
    case StepKind::accumulate:
      for (const Target& t : targets) {
        Dataset* d = t.second;
        const int ok = step.code == 0   ? d->accumulateTime1()
                       : step.code == 1 ? d->accumulateFreq1()
                                        : d->accumulateTimeFreq1();
        if (!ok) {
          refuse(file + ": collapsing the " + std::string(className(t.first)) + " dataset over " +
                 kAxisNames[step.code] + " was refused (see the message above)");
        }
      }
      return std::string("collapsed over ") + kAxisNames[step.code] + on;
    case StepKind::rootStrip: {
      const auto begin = static_cast<int64_t>(step.values[0]);
      const auto end = static_cast<int64_t>(step.values[1]);
      const double factor = step.values[2];
      const int type = target.dataType;
      for (const Target& t : targets) {
        const int64_t failed =
            forEachPair(*t.second, [&](CSpctmChnChnDatazq& p) { return p.rootStrip(begin, end, factor, type); });
        if (failed) {
          refuse(file + ": --root-strip: " + std::to_string(failed) + " pair(s) of the " + className(t.first) +
                 " dataset were refused (no " + plane + " plane or an empty baseline window)");
        }
      }
      return "root strip of the " + plane + " plane, baseline time points " + std::to_string(begin) + ".." +
             std::to_string(end - 1) + ", factor " + number(factor) + on;
    }
    case StepKind::nanToZero:
      for (const Target& t : targets) {
        forEachPair(*t.second, [](CSpctmChnChnDatazq& p) {
          for (int d = 0; d < 3; ++d) {
            if (p.plane[d]) p.setSpctmNAN2zero(d);
          }
          return 1;
        });
      }
      return "NaN and infinite values set to 0" + on;
    case StepKind::summaries: {
      int made = 0;
      for (const Target& t : targets) {
        const PlaneCensus census = countPlanes(*t.second);
        for (int d = 0; d < 3; ++d) {
          if (census.working[d] != census.pairs || census.pairs == 0) continue;
          if (!c.cmpSumCCSpctmData(t.second, t.first, d)) {
            refuse(file + ": the " + std::string(dataTypeName(d)) + " summary of the " + className(t.first) +
                   " dataset was refused");
          }
          ++made;
        }
      }
      return "summaries (" + std::to_string(made) + " records)" + on;
    }
    case StepKind::restoreRaw: {
      int64_t restored = 0;
      for (const Target& t : targets) {
        restored += t.second->reloadSpctmDataTrl();
        t.second->checkDataIntegraty();
      }
      return "raw data restored in " + std::to_string(restored) + " pairs" + on;
    }
    default:
      return "";
  }
}

PlanePeak findPlanePeak(Dataset& d, int dataType, bool skipDiagonal) {
  PlanePeak peak;
  if (!d.pairMatrix || dataType < 0 || dataType > 2) return peak;
  for (int64_t r = 0; r < d.rowSnsCount; ++r) {
    const CSpctmChnChnDatazq* row = d.pairMatrix[r];
    if (!row) continue;
    for (int64_t c = 0; c < d.colSnsCount; ++c) {
      if (skipDiagonal && r == c) continue;
      const CSpctmChnChnDatazq& p = row[c];
      double** plane = p.plane[dataType];
      if (!plane) continue;
      for (int64_t t = 0; t < p.timePt; ++t) {
        const double* cells = plane[t];
        if (!cells) continue;
        for (int64_t f = 0; f < p.freqPt; ++f) {
          const double v = cells[f];
          if (std::isnan(v)) continue;
          if (!peak.found || v > peak.value) {
            peak = {true, r, c, t, f, v};
          }
        }
      }
    }
  }
  return peak;
}

PlaneCensus countPlanes(Dataset& d) {
  PlaneCensus census;
  if (!d.pairMatrix) return census;
  for (int64_t r = 0; r < d.rowSnsCount; ++r) {
    const CSpctmChnChnDatazq* row = d.pairMatrix[r];
    if (!row) continue;
    for (int64_t c = 0; c < d.colSnsCount; ++c) {
      const CSpctmChnChnDatazq& p = row[c];
      ++census.pairs;
      for (int k = 0; k < 3; ++k) {
        if (p.plane[k]) ++census.working[k];
        if (p.rawPlane[k]) ++census.raw[k];
      }
      if (p.timePt != d.timePt || p.freqPt != d.freqPt) ++census.extentMismatch;
    }
  }
  return census;
}

}  // namespace cxc
