// cxc info: what a collection file or a single trial archive holds.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/cxc/commands.h"
#include "tools/cxc/pipeline.h"

namespace cxc {

namespace {

struct InfoArgs {
  std::string file;
  bool json = false;
};

const char* computationName(int cmptType) { return cmptType == 0 ? "CWT" : cmptType == 1 ? "GBT" : "Cmp?"; }

const char* storeTypeName(int storeType) {
  switch (storeType) {
    case 0:
      return "Real Time";
    case 1:
      return "Accumulate";
    case 2:
      return "Wave-Cross";
    default:
      return "Store?";
  }
}

std::string fixed(double v, int decimals = 3) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// Everything info reports about one dataset, read once for both formats.
struct DatasetFacts {
  std::string label;  // class name, or "trial" for a single trial archive
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

std::string planeList(const int64_t counts[3], int64_t pairs) {
  std::string s;
  for (int k = 0; k < 3; ++k) {
    if (!counts[k]) continue;
    if (!s.empty()) s += ", ";
    s += dataTypeName(k);
    if (counts[k] != pairs) s += " (" + std::to_string(counts[k]) + " of " + std::to_string(pairs) + " pairs)";
  }
  return s.empty() ? "none" : s;
}

void printText(const std::string& file, const ArchiveHeader& h, Collection& c, const std::vector<DatasetFacts>& all) {
  std::printf("file        %s\n", file.c_str());
  std::printf("archive     %s, magic %s, version %d\n",
              h.kind == ArchiveKind::collection ? "collection" : "single trial archive", h.magic.c_str(),
              static_cast<int>(h.version));
  if (h.kind == ArchiveKind::collection) {
    std::printf("name        %s\n", c.collectionName.toUtf8().c_str());
    std::printf("current     %s\n", c.currentClass >= 0 && c.currentClass < 3 ? className(c.currentClass) : "none");
    std::printf("datasets    %d\n", c.getTotalSpctmDataSets());
  }
  for (const DatasetFacts& f : all) {
    const Dataset& d = *f.d;
    std::printf("\n[%s] \"%s\"\n", f.label.c_str(), d.trialName.toUtf8().c_str());
    std::printf("  computation %s, store type %s, CxC type %s\n", computationName(d.cmptType),
                storeTypeName(d.storeType), d.cxcType.toUtf8().c_str());
    std::printf("  sensors     %lld x %lld (%lld pairs)\n", static_cast<long long>(d.rowSnsCount),
                static_cast<long long>(d.colSnsCount), static_cast<long long>(f.census.pairs));
    std::printf("  grid        %lld time x %lld frequency points\n", static_cast<long long>(d.timePt),
                static_cast<long long>(d.freqPt));
    if (d.freqAxisLog) {
      std::printf("  frequency   geometric, %s .. %s Hz, ratio %.6g\n", fixed(f.firstHz).c_str(),
                  fixed(f.lastHz).c_str(), d.freqRatio);
    } else {
      std::printf("  frequency   linear, %s .. %s Hz, step %.6g Hz\n", fixed(f.firstHz).c_str(),
                  fixed(f.lastHz).c_str(), d.freqStepHz);
    }
    std::printf("  time        step %lld samples, first sample %lld\n", static_cast<long long>(d.timeStep),
                static_cast<long long>(d.timeDataBegin + d.timePtOffset));
    std::printf("  selection   time %lld..%lld, frequency %lld..%lld (%s .. %s Hz)\n",
                static_cast<long long>(d.selTimeBegin), static_cast<long long>(d.selTimeEnd),
                static_cast<long long>(d.selFreqBegin), static_cast<long long>(d.selFreqEnd), fixed(f.selLowHz).c_str(),
                fixed(f.selHighHz).c_str());
    std::printf("  planes      %s; raw backup: %s\n", planeList(f.census.working, f.census.pairs).c_str(),
                planeList(f.census.raw, f.census.pairs).c_str());
    if (f.census.extentMismatch) {
      std::printf("  warning     %lld pairs differ from the %lld x %lld grid\n",
                  static_cast<long long>(f.census.extentMismatch), static_cast<long long>(d.timePt),
                  static_cast<long long>(d.freqPt));
    }
    bool anySummary = false;
    for (int k = 0; k < 3; ++k) {
      const CSumCCSpctmDatazq& s = d.summaryByDataType[k];
      if (!s.isComputed) continue;
      anySummary = true;
      std::printf(
          "  summary %-5s %lld pairs, %lld x %lld: min %.6g, mean %.6g, max %.6g, pos %.6g, neg %.6g, rms %.6g\n",
          dataTypeName(k), static_cast<long long>(s.pairCount), static_cast<long long>(s.timePtCount),
          static_cast<long long>(s.freqPtCount), s.minValue, s.meanValue, s.maxValue, s.posMeanValue, s.negMeanValue,
          s.rmsValue);
    }
    if (!anySummary) std::printf("  summaries   none computed\n");
    std::printf("  memory      %.*f MB (working planes, estimate)\n", f.memoryMB < 10.0 ? 3 : 1, f.memoryMB);
  }
}

void printJson(const std::string& file, const ArchiveHeader& h, Collection& c, const std::vector<DatasetFacts>& all) {
  std::string j = "{\n";
  j += "  \"file\": " + jsonString(file) + ",\n";
  j += "  \"kind\": " + jsonString(h.kind == ArchiveKind::collection ? "collection" : "trial") + ",\n";
  j += "  \"magic\": " + jsonString(h.magic) + ",\n";
  j += "  \"version\": " + std::to_string(h.version) + ",\n";
  if (h.kind == ArchiveKind::collection) {
    j += "  \"name\": " + jsonString(c.collectionName.toUtf8()) + ",\n";
    j += "  \"current_class\": " +
         (c.currentClass >= 0 && c.currentClass < 3 ? jsonString(className(c.currentClass)) : std::string("null")) +
         ",\n";
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
      j += std::string(k ? ", " : "") + jsonString(dataTypeName(k)) + ": " + std::to_string(f.census.working[k]);
    j += "}, \"raw_planes\": {";
    for (int k = 0; k < 3; ++k)
      j += std::string(k ? ", " : "") + jsonString(dataTypeName(k)) + ": " + std::to_string(f.census.raw[k]);
    j += "}";
    j += ",\n     \"summaries\": {";
    bool first = true;
    for (int k = 0; k < 3; ++k) {
      const CSumCCSpctmDatazq& s = d.summaryByDataType[k];
      if (!s.isComputed) continue;
      j += first ? "" : ", ";
      first = false;
      j += jsonString(dataTypeName(k)) + ": {\"pairs\": " + std::to_string(s.pairCount) +
           ", \"min\": " + jsonNumber(s.minValue) + ", \"mean\": " + jsonNumber(s.meanValue) +
           ", \"max\": " + jsonNumber(s.maxValue) + ", \"pos_mean\": " + jsonNumber(s.posMeanValue) +
           ", \"neg_mean\": " + jsonNumber(s.negMeanValue) + ", \"rms\": " + jsonNumber(s.rmsValue) + "}";
    }
    j += "}";
    j += ",\n     \"memory_mb\": " + jsonNumber(f.memoryMB) + "}";
  }
  j += all.empty() ? "]\n}\n" : "\n  ]\n}\n";
  std::fputs(j.c_str(), stdout);
}

int runInfo(const InfoArgs& args) {
  MessageConsole console(false);
  Collection collection;
  const ArchiveHeader header = loadCollectionFile(args.file, collection, console, true);
  std::vector<DatasetFacts> all;
  for (int k = 0; k < kClassCount; ++k) {
    Dataset* d = collection.trialByClass[k];
    if (d) all.push_back(factsOf(header.kind == ArchiveKind::trial ? "trial" : className(k), *d));
  }
  if (args.json) {
    printJson(args.file, header, collection, all);
  } else {
    printText(args.file, header, collection, all);
  }
  return kExitOk;
}

}  // namespace

void addInfoCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<InfoArgs>();
  CLI::App* sub =
      app.add_subcommand("info", "Show what a collection file (any version) or a single trial archive holds");
  sub->add_option("FILE", args->file, "collection file or trial archive")->required();
  sub->add_flag("--json", args->json, "print JSON instead of text");
  commands.push_back({sub, [args] { return runInfo(*args); }});
}

}  // namespace cxc
