// cxc export: planes, axes and summaries as NumPy .npy files (or CSV) for
// NumPy / MNE-Python users and spreadsheets.
//
// Per class dataset <c> (active, control, act-ctl) the folder receives:
//   <c>_cross.npy       complex128 sensors x sensors x time x frequency, when
//                       real and imaginary planes are both present
//   <c>_real.npy        float64, when only the real plane is present (or
//                       asked for with --type)
//   <c>_imag.npy        float64, with --type imag
//   <c>_power.npy       float64, the power/phase plane when present
//   <c>_freqs.npy       float64, the frequency of each point in Hz
//   <c>_times.npy       float64, the sample position of each time point
//   <c>_summary_<t>.npy float64 6 x time x frequency per computed summary:
//                       minimum, mean, maximum, positive mean, non-positive
//                       mean, RMS over the pairs
// and manifest.json lists every file with its shape and the summary figures.
// CSV holds the same in long form: one line per pair and cell.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/cxc/commands.h"
#include "interop/npy.h"
#include "tools/cxc/pipeline.h"

namespace cxc {

using namespace megcxc::interop;

namespace {

struct ExportArgs {
  std::string file;
  std::string dir;
  std::vector<std::string> classes;
  std::string type;
  std::string format = "npy";
};

const char* const kSummaryArrays[6] = {"min", "mean", "max", "pos_mean", "neg_mean", "rms"};

std::string shapeText(const std::vector<int64_t>& shape) {
  std::string s = "[";
  for (std::size_t i = 0; i < shape.size(); ++i) s += (i ? ", " : "") + std::to_string(shape[i]);
  return s + "]";
}

// A CSV file written line by line; errors end the export with the file named.
class CsvFile {
 public:
  CsvFile(const std::string& path, const char* header) : path_(path) {
    fp_ = std::fopen(path.c_str(), "w");
    if (!fp_) refuse(path + ": cannot create: " + std::strerror(errno));
    std::fputs(header, fp_);
  }
  ~CsvFile() {
    if (fp_) std::fclose(fp_);
  }
  std::FILE* fp() { return fp_; }
  void close() {
    const bool ok = std::ferror(fp_) == 0;
    const bool closed = std::fclose(fp_) == 0;
    fp_ = nullptr;
    if (!ok || !closed) refuse(path_ + ": cannot write: " + std::strerror(errno));
  }

 private:
  std::string path_;
  std::FILE* fp_ = nullptr;
};

class Exporter {
 public:
  Exporter(const ExportArgs& args, Collection& c) : args_(args), c_(c), csv_(args.format == "csv") {}

  void exportClass(int cls) {
    Dataset& d = *c_.trialByClass[cls];
    const std::string name = className(cls);
    if (!d.checkDataIntegraty()) refuse(args_.file + ": the " + name + " dataset has no channel pairs");
    const PlaneCensus census = countPlanes(d);
    if (census.pairs != d.rowSnsCount * d.colSnsCount || census.extentMismatch) {
      refuse(args_.file + ": the " + name + " dataset has missing pairs or pairs of differing extents");
    }
    for (int k = 0; k < 3; ++k) {
      if (census.working[k] != 0 && census.working[k] != census.pairs) {
        refuse(args_.file + ": the " + std::string(dataTypeName(k)) + " plane of the " + name +
               " dataset is present in only some pairs");
      }
    }
    const bool has[3] = {census.working[0] > 0, census.working[1] > 0, census.working[2] > 0};
    const int only = args_.type.empty() ? -1 : dataTypeFromName(args_.type);
    if (only >= 0 && !has[only]) {
      refuse(args_.file + ": the " + name + " dataset has no " + args_.type + " plane" +
             (only == 2 ? " (compute it with cxc process --magnitude)" : ""));
    }
    if (only < 0 && has[0] && has[1]) {
      writePlane(d, name + "_cross", 0, 1);
    } else if (only < 0 && has[0]) {
      writePlane(d, name + "_real", 0, -1);
    } else if (only >= 0 && only < 2) {
      writePlane(d, name + "_" + dataTypeName(only), only, -1);
    }
    if ((only < 0 || only == 2) && has[2]) writePlane(d, name + "_power", 2, -1);
    if (!csv_) writeAxes(d, name);
    for (int k = 0; k < 3; ++k) {
      if (only < 0 || only == k) writeSummary(d, name, k);
    }
  }

  void writeManifest() {
    std::string j = "{\n  \"source\": " + jsonString(args_.file) + ",\n  \"files\": [";
    for (std::size_t i = 0; i < manifest_.size(); ++i) j += (i ? ",\n    " : "\n    ") + manifest_[i];
    j += "\n  ]\n}\n";
    const std::string path = args_.dir + "/manifest.json";
    std::FILE* fp = std::fopen(path.c_str(), "w");
    if (!fp || std::fputs(j.c_str(), fp) < 0 || std::fclose(fp) != 0) {
      refuse(path + ": cannot write: " + std::strerror(errno));
    }
    std::printf("wrote %s\n", path.c_str());
  }

 private:
  double timeOf(const Dataset& d, int64_t t) const {
    return static_cast<double>(t * d.timeStep + d.timePtOffset + d.timeDataBegin);
  }

  void note(const std::string& path, const std::string& dtype, const std::vector<int64_t>& shape,
            const std::string& extra = "") {
    const std::string base = path.substr(path.find_last_of('/') + 1);
    manifest_.push_back("{\"file\": " + jsonString(base) + ", \"dtype\": \"" + dtype +
                        "\", \"shape\": " + shapeText(shape) + extra + "}");
    std::printf("wrote %s  %s %s\n", path.c_str(), dtype.c_str(), shapeText(shape).c_str());
  }

  // Plane `first` (and `second` as imaginary part when >= 0) of every pair.
  void writePlane(Dataset& d, const std::string& stem, int first, int second) {
    const int64_t R = d.rowSnsCount, C = d.colSnsCount, T = d.timePt, F = d.freqPt;
    const std::vector<int64_t> shape = {R, C, T, F};
    const bool complex = second >= 0;
    if (csv_) {
      const std::string path = args_.dir + "/" + stem + ".csv";
      CsvFile out(path, complex ? "row,col,time,freq_hz,real,imag\n" : "row,col,time,freq_hz,value\n");
      for (int64_t r = 0; r < R; ++r) {
        for (int64_t c = 0; c < C; ++c) {
          const CSpctmChnChnDatazq& p = d.pairMatrix[r][c];
          for (int64_t t = 0; t < T; ++t) {
            const double* a = p.plane[first][t];
            const double* b = complex ? p.plane[second][t] : nullptr;
            for (int64_t f = 0; f < F; ++f) {
              std::fprintf(out.fp(), "%lld,%lld,%.17g,%.17g,%.17g", static_cast<long long>(r),
                           static_cast<long long>(c), timeOf(d, t), d.getSpctmFreq4FreqIndex(f), a ? a[f] : 0.0);
              if (complex) std::fprintf(out.fp(), ",%.17g", b ? b[f] : 0.0);
              std::fputc('\n', out.fp());
            }
          }
        }
      }
      out.close();
      note(path, complex ? "complex128" : "float64", shape, ", \"layout\": \"long\"");
      return;
    }
    const std::string path = args_.dir + "/" + stem + ".npy";
    NpyWriter out(path, complex ? NpyType::complex128 : NpyType::float64, shape);
    const int64_t cells = T * F;
    std::vector<double> buffer(static_cast<std::size_t>(cells * (complex ? 2 : 1)));
    for (int64_t r = 0; r < R; ++r) {
      for (int64_t c = 0; c < C; ++c) {
        const CSpctmChnChnDatazq& p = d.pairMatrix[r][c];
        std::size_t k = 0;
        for (int64_t t = 0; t < T; ++t) {
          const double* a = p.plane[first][t];
          const double* b = complex ? p.plane[second][t] : nullptr;
          for (int64_t f = 0; f < F; ++f) {
            buffer[k++] = a ? a[f] : 0.0;
            if (complex) buffer[k++] = b ? b[f] : 0.0;
          }
        }
        out.write(buffer.data(), static_cast<int64_t>(buffer.size()));
      }
    }
    out.close();
    note(path, complex ? "complex128" : "float64", shape, ", \"dims\": [\"sensor\", \"sensor\", \"time\", \"freq\"]");
  }

  void writeAxes(Dataset& d, const std::string& name) {
    std::vector<double> freqs(static_cast<std::size_t>(d.freqPt));
    for (int64_t f = 0; f < d.freqPt; ++f) freqs[static_cast<std::size_t>(f)] = d.getSpctmFreq4FreqIndex(f);
    std::vector<double> times(static_cast<std::size_t>(d.timePt));
    for (int64_t t = 0; t < d.timePt; ++t) times[static_cast<std::size_t>(t)] = timeOf(d, t);
    const std::string fpath = args_.dir + "/" + name + "_freqs.npy";
    writeNpy(fpath, {d.freqPt}, freqs);
    note(fpath, "float64", {d.freqPt},
         std::string(", \"unit\": \"Hz\", \"scale\": \"") + (d.freqAxisLog ? "geometric" : "linear") + "\"");
    const std::string tpath = args_.dir + "/" + name + "_times.npy";
    writeNpy(tpath, {d.timePt}, times);
    note(tpath, "float64", {d.timePt}, ", \"unit\": \"samples\"");
  }

  void writeSummary(Dataset& d, const std::string& name, int type) {
    CSumCCSpctmDatazq& s = d.summaryByDataType[type];
    double** arrays[6] = {s.cellMin, s.cellMean, s.cellMax, s.cellPosMean, s.cellNegMean, s.cellRms};
    if (!s.isComputed || s.timePtCount < 1 || s.freqPtCount < 1 || !s.arraysFitCounts()) return;
    for (double** a : arrays) {
      if (!a) return;
    }
    const int64_t T = s.timePtCount, F = s.freqPtCount;
    const std::string figures = ", \"pairs\": " + std::to_string(s.pairCount) + ", \"min\": " + jsonNumber(s.minValue) +
                                ", \"mean\": " + jsonNumber(s.meanValue) + ", \"max\": " + jsonNumber(s.maxValue) +
                                ", \"pos_mean\": " + jsonNumber(s.posMeanValue) +
                                ", \"neg_mean\": " + jsonNumber(s.negMeanValue) +
                                ", \"rms\": " + jsonNumber(s.rmsValue);
    const std::string stem = args_.dir + "/" + name + "_summary_" + dataTypeName(type);
    if (csv_) {
      const std::string path = stem + ".csv";
      CsvFile out(path, "time,freq_hz,min,mean,max,pos_mean,neg_mean,rms\n");
      for (int64_t t = 0; t < T; ++t) {
        for (int64_t f = 0; f < F; ++f) {
          std::fprintf(out.fp(), "%.17g,%.17g", timeOf(d, t), d.getSpctmFreq4FreqIndex(f));
          for (double** a : arrays) std::fprintf(out.fp(), ",%.17g", a[t] ? a[t][f] : 0.0);
          std::fputc('\n', out.fp());
        }
      }
      out.close();
      note(path, "float64", {T, F, 6}, figures);
      return;
    }
    const std::string path = stem + ".npy";
    NpyWriter out(path, NpyType::float64, {6, T, F});
    std::vector<double> row(static_cast<std::size_t>(F));
    for (double** a : arrays) {
      for (int64_t t = 0; t < T; ++t) {
        for (int64_t f = 0; f < F; ++f) row[static_cast<std::size_t>(f)] = a[t] ? a[t][f] : 0.0;
        out.write(row.data(), F);
      }
    }
    out.close();
    std::string order = ", \"arrays\": [";
    for (int k = 0; k < 6; ++k) order += std::string(k ? ", " : "") + "\"" + kSummaryArrays[k] + "\"";
    note(path, "float64", {6, T, F}, order + "]" + figures);
  }

  const ExportArgs& args_;
  Collection& c_;
  bool csv_;
  std::vector<std::string> manifest_;
};

int runExport(const ExportArgs& args) {
  MessageConsole console(false);
  Collection collection;
  loadCollectionFile(args.file, collection, console, true);
  std::vector<int> classes;
  if (args.classes.empty()) {
    for (int k = 0; k < kClassCount; ++k) {
      if (collection.trialByClass[k]) classes.push_back(k);
    }
    if (classes.empty()) refuse(args.file + ": the collection holds no dataset");
  } else {
    for (const std::string& name : args.classes) {
      const int k = classFromName(name);
      if (!collection.trialByClass[k]) refuse(args.file + ": the collection holds no " + name + " dataset");
      classes.push_back(k);
    }
  }
  struct stat st {};
  if (::stat(args.dir.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) refuse(args.dir + ": exists and is not a directory");
  } else if (::mkdir(args.dir.c_str(), 0777) != 0) {
    refuse(args.dir + ": cannot create directory: " + std::strerror(errno));
  }
  Exporter exporter(args, collection);
  for (const int k : classes) exporter.exportClass(k);
  exporter.writeManifest();
  return kExitOk;
}

}  // namespace

void addExportCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<ExportArgs>();
  CLI::App* sub = app.add_subcommand(
      "export",
      "Write planes (sensors x sensors x time x frequency; complex128 when real and imaginary are both present), "
      "axes and summaries as NumPy .npy files or CSV, with manifest.json");
  sub->add_option("FILE", args->file, "collection file (a single trial archive counts as active)")->required();
  sub->add_option("-o,--output", args->dir, "output directory (created if missing)")->required();
  sub->add_option("--class", args->classes, "class datasets to export (default: all present)")
      ->check(CLI::IsMember({"active", "control", "act-ctl"}));
  sub->add_option("--type", args->type, "only this plane: real, imag or power")
      ->check(CLI::IsMember({"real", "imag", "power"}));
  sub->add_option("--format", args->format, "npy or csv")->check(CLI::IsMember({"npy", "csv"}))->capture_default_str();
  commands.push_back({sub, [args] { return runExport(*args); }});
}

}  // namespace cxc
