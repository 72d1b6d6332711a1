#include "host/describe.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "host/metadata.h"
#include "host/names.h"
#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::host {

namespace {

constexpr const char* kFreqReportHeader =
    "Name         Freq         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n";
constexpr const char* kTimeReportHeader =
    "Name         Time         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n";

std::string fixed(double v, int decimals = 3) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// Everything the description says about one dataset, read once for both forms.
struct DatasetFacts {
  std::string label;  // class key, or "trial" for a single trial archive
  int classCode = 0;
  Dataset* d = nullptr;
  PlaneCensus census;
  double firstHz = 0.0;
  double lastHz = 0.0;
  double selLowHz = 0.0;
  double selHighHz = 0.0;
  double memoryMB = 0.0;
};

DatasetFacts factsOf(const std::string& label, Dataset& d) {
  DatasetFacts f;
  f.label = label;
  f.d = &d;
  f.census = countPlanes(d);
  f.firstHz = d.getSpctmFreq4FreqIndex(0);
  f.lastHz = d.getSpctmFreq4FreqIndex(d.freqPt - 1);
  d.getTrialSpctmGivenFreqID4Hz(d.selFreqBegin, d.selFreqEnd, f.selLowHz, f.selHighHz);
  const int64_t sensors = d.rowSnsCount > d.colSnsCount ? d.rowSnsCount : d.colSnsCount;
  f.memoryMB = d.estimateDataSizeMB(sensors, d.timePt, d.freqPt, false, f.census.working[1] > 0 ? 1 : 0,
                                    f.census.working[2] > 0 ? 1 : 0);
  return f;
}

std::vector<DatasetFacts> factsOfAll(const ArchiveHeader& header, Collection& c) {
  std::vector<DatasetFacts> all;
  for (int k = 0; k < kClassCount; ++k) {
    if (Dataset* d = c.trialByClass[k]) {
      all.push_back(factsOf(header.kind == ArchiveKind::trial ? "trial" : classKey(k), *d));
      all.back().classCode = k;
    }
  }
  return all;
}

std::string planeList(const int64_t counts[3], int64_t pairs) {
  std::string s;
  for (int k = 0; k < 3; ++k) {
    if (!counts[k]) continue;
    if (!s.empty()) s += ", ";
    s += dataTypeKey(k);
    if (counts[k] != pairs) s += " (" + std::to_string(counts[k]) + " of " + std::to_string(pairs) + " pairs)";
  }
  return s.empty() ? "none" : s;
}

const char* currentClassKey(const Collection& c) {
  return c.currentClass >= 0 && c.currentClass < kClassCount ? classKey(c.currentClass) : nullptr;
}

}  // namespace

PlaneCensus countPlanes(const Dataset& d) {
  PlaneCensus census;
  forEachPair(d, [&](int64_t, int64_t, const CSpctmChnChnDatazq& p) {
    ++census.pairs;
    for (int k = 0; k < 3; ++k) {
      if (p.plane[k]) ++census.working[k];
      if (p.rawPlane[k]) ++census.raw[k];
    }
    if (p.timePt != d.timePt || p.freqPt != d.freqPt) ++census.extentMismatch;
  });
  return census;
}

PlanePeak findPlanePeak(const Dataset& d, int dataType, bool skipDiagonal) {
  PlanePeak peak;
  if (dataType < 0 || dataType > 2) return peak;
  forEachPair(d, [&](int64_t r, int64_t c, const CSpctmChnChnDatazq& p) {
    if (skipDiagonal && r == c) return;
    double** plane = p.plane[dataType];
    if (!plane) return;
    for (int64_t t = 0; t < p.timePt; ++t) {
      const double* cells = plane[t];
      if (!cells) continue;
      for (int64_t f = 0; f < p.freqPt; ++f) {
        const double v = cells[f];
        if (std::isnan(v)) continue;
        if (!peak.found || v > peak.value) peak = {true, r, c, t, f, v};
      }
    }
  });
  return peak;
}

PlaneRange planeRange(const Dataset& d, int dataType) {
  PlaneRange range;
  if (dataType < 0 || dataType > 2) return range;
  forEachPair(d, [&](int64_t, int64_t, const CSpctmChnChnDatazq& p) {
    const double* cells = planeData(p.plane[dataType], p.timePt);
    if (!cells || p.timePt < 1 || p.freqPt < 1) return;
    const int64_t n = p.timePt * p.freqPt;
    for (int64_t k = 0; k < n; ++k) {
      const double v = cells[k];
      if (!std::isfinite(v)) continue;
      if (!range.found) {
        range = {true, v, v, std::fabs(v)};
        continue;
      }
      range.min = std::min(range.min, v);
      range.max = std::max(range.max, v);
      range.maxAbs = std::max(range.maxAbs, std::fabs(v));
    }
  });
  return range;
}

double autoScaleFor(double maxAbs) {
  if (!(maxAbs > 0.0) || !std::isfinite(maxAbs)) return 1.0;
  const int exponent = static_cast<int>(std::floor(std::log10(maxAbs) / 3.0)) * 3;
  return std::pow(10.0, -exponent);
}

namespace {

// The lines of the description that need the companion metadata or a pass
// over the values: names, sampling rate in seconds, value ranges with unit,
// and a note on report labels of a geometric axis.
std::string extraLines(Dataset& d, int spctmClass, const Metadata* meta) {
  std::string s;
  const double sfreq = samplingRate(d);
  if (sfreq > 0.0) {
    s += format("  seconds     %.6g Hz sampling: time points at %.6g .. %.6g s\n", sfreq, timeSeconds(d, 0),
                timeSeconds(d, d.timePt > 0 ? d.timePt - 1 : 0));
  }
  if (reportLabelsDifferFromFrequencies(d) && d.freqPt > 0) {
    s += format("  note        report lines label a geometric axis %.6g .. %.6g (the format's definition), not the "
                "frequencies above\n",
                reportFrequencyLabel(d, 0), reportFrequencyLabel(d, d.freqPt - 1));
  }
  if (!meta) return s;
  const DatasetMetadata& m = meta->byClass[spctmClass >= 0 && spctmClass < kClassCount ? spctmClass : 0];
  if (!m.rows.empty()) {
    std::string names;
    const std::size_t shown = std::min<std::size_t>(m.rows.size(), 4);
    for (std::size_t i = 0; i < shown; ++i) names += (i ? ", " : "") + m.rows[i].name;
    if (shown < m.rows.size()) names += ", ...";
    s += format("  channels    %s (%lld named)\n", names.c_str(), static_cast<long long>(m.rows.size()));
  }
  for (int k = 0; k < 3; ++k) {
    const PlaneRange r = planeRange(d, k);
    if (!r.found) continue;
    s += format("  values %-5s %s .. %s%s%s\n", dataTypeKey(k), engineering(r.min).c_str(), engineering(r.max).c_str(),
                m.valueUnit.empty() || k == 2 ? "" : " ", k == 2 ? "" : m.valueUnit.c_str());
  }
  return s;
}

}  // namespace

std::string describeCollectionText(const std::string& file, const ArchiveHeader& h, Collection& c,
                                   const Metadata* meta) {
  std::string s;
  s += format("file        %s\n", file.c_str());
  s += format("archive     %s, magic %s, version %d\n",
              h.kind == ArchiveKind::collection ? "collection" : "single trial archive", h.magic.c_str(),
              static_cast<int>(h.version));
  if (h.kind == ArchiveKind::collection) {
    s += format("name        %s\n", c.collectionName.toUtf8().c_str());
    const char* current = currentClassKey(c);
    s += format("current     %s\n", current ? current : "none");
    s += format("datasets    %d\n", c.getTotalSpctmDataSets());
  }
  for (const DatasetFacts& f : factsOfAll(h, c)) {
    const Dataset& d = *f.d;
    s += format("\n[%s] \"%s\"\n", f.label.c_str(), d.trialName.toUtf8().c_str());
    s += format("  computation %s, store type %s, CxC type %s\n", computationName(d.cmptType), storeTypeName(d.storeType),
                d.cxcType.toUtf8().c_str());
    s += format("  sensors     %lld x %lld (%lld pairs)\n", static_cast<long long>(d.rowSnsCount),
                static_cast<long long>(d.colSnsCount), static_cast<long long>(f.census.pairs));
    s += format("  grid        %lld time x %lld frequency points\n", static_cast<long long>(d.timePt),
                static_cast<long long>(d.freqPt));
    if (d.freqAxisLog) {
      s += format("  frequency   geometric, %s .. %s Hz, ratio %.6g\n", fixed(f.firstHz).c_str(), fixed(f.lastHz).c_str(),
                  d.freqRatio);
    } else {
      s += format("  frequency   linear, %s .. %s Hz, step %.6g Hz\n", fixed(f.firstHz).c_str(), fixed(f.lastHz).c_str(),
                  d.freqStepHz);
    }
    s += format("  time        step %lld samples, first sample %lld\n", static_cast<long long>(d.timeStep),
                static_cast<long long>(d.timeDataBegin + d.timePtOffset));
    s += format("  selection   time %lld..%lld, frequency %lld..%lld (%s .. %s Hz)\n",
                static_cast<long long>(d.selTimeBegin), static_cast<long long>(d.selTimeEnd),
                static_cast<long long>(d.selFreqBegin), static_cast<long long>(d.selFreqEnd), fixed(f.selLowHz).c_str(),
                fixed(f.selHighHz).c_str());
    s += "  planes      " + planeList(f.census.working, f.census.pairs) +
         "; raw backup: " + planeList(f.census.raw, f.census.pairs) + "\n";
    if (f.census.extentMismatch) {
      s += format("  warning     %lld pairs differ from the %lld x %lld grid\n",
                  static_cast<long long>(f.census.extentMismatch), static_cast<long long>(d.timePt),
                  static_cast<long long>(d.freqPt));
    }
    bool anySummary = false;
    for (int k = 0; k < 3; ++k) {
      const CSumCCSpctmDatazq& m = d.summaryByDataType[k];
      if (!m.isComputed) continue;
      anySummary = true;
      s += format("  summary %-5s %lld pairs, %lld x %lld: min %.6g, mean %.6g, max %.6g, pos %.6g, neg %.6g, rms %.6g\n",
                  dataTypeKey(k), static_cast<long long>(m.pairCount), static_cast<long long>(m.timePtCount),
                  static_cast<long long>(m.freqPtCount), m.minValue, m.meanValue, m.maxValue, m.posMeanValue,
                  m.negMeanValue, m.rmsValue);
    }
    if (!anySummary) s += "  summaries   none computed\n";
    s += extraLines(*f.d, f.classCode, meta);
    s += format("  memory      %.*f MB (working planes, estimate)\n", f.memoryMB < 10.0 ? 3 : 1, f.memoryMB);
  }
  return s;
}

std::string describeCollectionJson(const std::string& file, const ArchiveHeader& h, Collection& c,
                                   const Metadata* meta) {
  const std::vector<DatasetFacts> all = factsOfAll(h, c);
  std::string j = "{\n";
  j += "  \"file\": " + jsonString(file) + ",\n";
  j += "  \"kind\": " + jsonString(h.kind == ArchiveKind::collection ? "collection" : "trial") + ",\n";
  j += "  \"magic\": " + jsonString(h.magic) + ",\n";
  j += "  \"version\": " + std::to_string(h.version) + ",\n";
  if (h.kind == ArchiveKind::collection) {
    j += "  \"name\": " + jsonString(c.collectionName.toUtf8()) + ",\n";
    const char* current = currentClassKey(c);
    j += "  \"current_class\": " + (current ? jsonString(current) : std::string("null")) + ",\n";
  }
  j += "  \"datasets\": [";
  for (std::size_t i = 0; i < all.size(); ++i) {
    const DatasetFacts& f = all[i];
    const Dataset& d = *f.d;
    j += i ? ",\n    {" : "\n    {";
    j += "\"class\": " + jsonString(f.label);
    j += ", \"name\": " + jsonString(d.trialName.toUtf8());
    j += ", \"computation\": " + jsonString(computationName(d.cmptType));
    j += ", \"store_type\": " + jsonString(storeTypeName(d.storeType));
    j += ", \"cxc_type\": " + jsonString(d.cxcType.toUtf8());
    j += ",\n     \"sensors\": [" + std::to_string(d.rowSnsCount) + ", " + std::to_string(d.colSnsCount) + "]";
    j += ", \"time_points\": " + std::to_string(d.timePt);
    j += ", \"freq_points\": " + std::to_string(d.freqPt);
    j += ",\n     \"freq_axis\": {\"scale\": " + jsonString(d.freqAxisLog ? "geometric" : "linear") +
         ", \"first_hz\": " + jsonNumber(f.firstHz) + ", \"last_hz\": " + jsonNumber(f.lastHz) +
         ", \"step_hz\": " + jsonNumber(d.freqStepHz) + ", \"ratio\": " + jsonNumber(d.freqRatio) + "}";
    j += ",\n     \"time_axis\": {\"step_samples\": " + std::to_string(d.timeStep) +
         ", \"first_sample\": " + std::to_string(d.timeDataBegin + d.timePtOffset) + "}";
    j += ",\n     \"selection\": {\"time\": [" + std::to_string(d.selTimeBegin) + ", " + std::to_string(d.selTimeEnd) +
         "], \"freq\": [" + std::to_string(d.selFreqBegin) + ", " + std::to_string(d.selFreqEnd) + "], \"freq_hz\": [" +
         jsonNumber(f.selLowHz) + ", " + jsonNumber(f.selHighHz) + "]}";
    j += ",\n     \"pairs\": " + std::to_string(f.census.pairs);
    j += ", \"planes\": {";
    for (int k = 0; k < 3; ++k)
      j += std::string(k ? ", " : "") + jsonString(dataTypeKey(k)) + ": " + std::to_string(f.census.working[k]);
    j += "}, \"raw_planes\": {";
    for (int k = 0; k < 3; ++k)
      j += std::string(k ? ", " : "") + jsonString(dataTypeKey(k)) + ": " + std::to_string(f.census.raw[k]);
    j += "}";
    j += ",\n     \"summaries\": {";
    bool first = true;
    for (int k = 0; k < 3; ++k) {
      const CSumCCSpctmDatazq& s = d.summaryByDataType[k];
      if (!s.isComputed) continue;
      j += first ? "" : ", ";
      first = false;
      j += jsonString(dataTypeKey(k)) + ": {\"pairs\": " + std::to_string(s.pairCount) +
           ", \"min\": " + jsonNumber(s.minValue) + ", \"mean\": " + jsonNumber(s.meanValue) +
           ", \"max\": " + jsonNumber(s.maxValue) + ", \"pos_mean\": " + jsonNumber(s.posMeanValue) +
           ", \"neg_mean\": " + jsonNumber(s.negMeanValue) + ", \"rms\": " + jsonNumber(s.rmsValue) + "}";
    }
    j += "}";
    j += ",\n     \"memory_mb\": " + jsonNumber(f.memoryMB);
    const double sfreq = samplingRate(d);
    j += ",\n     \"sfreq\": " + (sfreq > 0.0 ? jsonNumber(sfreq) : std::string("null"));
    j += ", \"first_time_s\": " + (sfreq > 0.0 ? jsonNumber(timeSeconds(d, 0)) : std::string("null"));
    if (meta) {
      const DatasetMetadata& m = meta->byClass[f.classCode >= 0 && f.classCode < kClassCount ? f.classCode : 0];
      j += ",\n     " + metadataJsonMembers(m);
    }
    j += "}";
  }
  j += all.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return j;
}

CString statisticsReport(Dataset& d, bool timeReport, int dataType, bool keepEmpty) {
  auto lines = [&](int type) { return timeReport ? d.getStatisticsTx(type) : d.getStatisticsFx(type); };
  if (dataType >= 0) return lines(dataType);
  CString text = timeReport ? kTimeReportHeader : kFreqReportHeader;
  bool any = false;
  for (int k = 0; k < kDataTypeCount; ++k) {
    const CString part = lines(k);
    any = any || !part.IsEmpty();
    text += CString(std::string("\n***") + dataTypeTitle(k) + "***\n");
    text += part;
  }
  return any || keepEmpty ? text : CString();
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string jsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string metadataJsonMembers(const DatasetMetadata& m) {
  std::string j = "\"value_unit\": " + (m.valueUnit.empty() ? std::string("null") : jsonString(m.valueUnit));
  j += ", \"row_names\": [";
  for (std::size_t i = 0; i < m.rows.size(); ++i) j += (i ? ", " : "") + jsonString(m.rows[i].name);
  j += "], \"col_names\": [";
  for (std::size_t i = 0; i < m.cols.size(); ++i) j += (i ? ", " : "") + jsonString(m.cols[i].name);
  return j + "]";
}

}  // namespace megcxc::host
