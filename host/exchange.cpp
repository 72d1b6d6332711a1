#include "host/exchange.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "host/describe.h"
#include "host/metadata.h"
#include "host/names.h"
#include "interop/npy.h"
#include "platform/refused.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::host {

namespace {

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
  Exporter(const ExportOptions& options, Collection& c, const WrittenFile& written)
      : options_(options), c_(c), csv_(options.csv), written_(written) {}

  // Checks a dataset before anything is written; refused with the reason.
  void check(int cls) {
    Dataset& d = *c_.trialByClass[cls];
    const std::string name = classKey(cls);
    if (!d.checkDataIntegraty()) refuse(options_.source + ": the " + name + " dataset has no channel pairs");
    const PlaneCensus census = countPlanes(d);
    if (census.pairs != d.rowSnsCount * d.colSnsCount || census.extentMismatch) {
      refuse(options_.source + ": the " + name + " dataset has missing pairs or pairs of differing extents");
    }
    for (int k = 0; k < 3; ++k) {
      if (census.working[k] != 0 && census.working[k] != census.pairs) {
        refuse(options_.source + ": the " + std::string(dataTypeKey(k)) + " plane of the " + name +
               " dataset is present in only some pairs");
      }
    }
    const int only = options_.dataType;
    if (only >= 0 && census.working[only] == 0) {
      refuse(options_.source + ": the " + name + " dataset has no " + dataTypeKey(only) + " plane" +
             (only == 2 ? " (compute the magnitude or phase first)" : ""));
    }
  }

  void exportClass(int cls) {
    Dataset& d = *c_.trialByClass[cls];
    const std::string name = classKey(cls);
    const PlaneCensus census = countPlanes(d);
    const bool has[3] = {census.working[0] > 0, census.working[1] > 0, census.working[2] > 0};
    const int only = options_.dataType;
    if (only < 0 && has[0] && has[1]) {
      writePlane(d, name + "_cross", 0, 1);
    } else if (only < 0 && has[0]) {
      writePlane(d, name + "_real", 0, -1);
    } else if (only >= 0 && only < 2) {
      writePlane(d, name + "_" + dataTypeKey(only), only, -1);
    }
    if ((only < 0 || only == 2) && has[2]) writePlane(d, name + "_power", 2, -1);
    if (!csv_) writeAxes(d, name);
    for (int k = 0; k < 3; ++k) {
      if (only < 0 || only == k) writeSummary(d, name, k);
    }
  }

  // Every file this export has created so far (also one being written).
  const std::vector<std::string>& created() const { return created_; }

  void writeManifest(const std::vector<int>& classes) {
    std::string j = "{\n  \"source\": " + jsonString(options_.source) + ",\n  \"files\": [";
    for (std::size_t i = 0; i < manifest_.size(); ++i) j += (i ? ",\n    " : "\n    ") + manifest_[i];
    j += "\n  ],\n  \"datasets\": {";
    for (std::size_t i = 0; i < classes.size(); ++i) {
      const int k = classes[i];
      Dataset& d = *c_.trialByClass[k];
      const double sfreq = samplingRate(d);
      j += std::string(i ? "," : "") + "\n    " + jsonString(classKey(k)) + ": {\"sfreq\": " +
           (sfreq > 0.0 ? jsonNumber(sfreq) : std::string("null"));
      if (options_.metadata) {
        j += ", " + metadataJsonMembers(options_.metadata->byClass[k]);
      }
      j += "}";
    }
    j += "\n  }\n}\n";
    const std::string path = options_.folder + "/manifest.json";
    created_.push_back(path);
    std::FILE* fp = std::fopen(path.c_str(), "w");
    if (!fp || std::fputs(j.c_str(), fp) < 0 || std::fclose(fp) != 0) {
      refuse(path + ": cannot write: " + std::strerror(errno));
    }
    if (written_) written_(path, "");
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
    if (written_) written_(path, dtype + " " + shapeText(shape));
  }

  // Plane `first` (and `second` as imaginary part when >= 0) of every pair.
  void writePlane(Dataset& d, const std::string& stem, int first, int second) {
    const int64_t R = d.rowSnsCount, C = d.colSnsCount, T = d.timePt, F = d.freqPt;
    const std::vector<int64_t> shape = {R, C, T, F};
    const bool complex = second >= 0;
    if (csv_) {
      const std::string path = options_.folder + "/" + stem + ".csv";
      created_.push_back(path);
      CsvFile out(path, complex ? "row,col,time,freq_hz,real,imag\n" : "row,col,time,freq_hz,value\n");
      forEachPair(d, [&](int64_t r, int64_t c, const CSpctmChnChnDatazq& p) {
        for (int64_t t = 0; t < T; ++t) {
          const double* a = p.plane[first][t];
          const double* b = complex ? p.plane[second][t] : nullptr;
          for (int64_t f = 0; f < F; ++f) {
            std::fprintf(out.fp(), "%lld,%lld,%.17g,%.17g,%.17g", static_cast<long long>(r), static_cast<long long>(c),
                         timeOf(d, t), d.getSpctmFreq4FreqIndex(f), a ? a[f] : 0.0);
            if (complex) std::fprintf(out.fp(), ",%.17g", b ? b[f] : 0.0);
            std::fputc('\n', out.fp());
          }
        }
      });
      out.close();
      note(path, complex ? "complex128" : "float64", shape, ", \"layout\": \"long\"");
      return;
    }
    const std::string path = options_.folder + "/" + stem + ".npy";
    created_.push_back(path);
    const bool sft = options_.sft;
    const std::vector<int64_t> stored = sft ? std::vector<int64_t>{R, C, F, T} : shape;
    interop::NpyWriter out(path, complex ? interop::NpyType::complex128 : interop::NpyType::float64, stored);
    const int64_t cells = T * F;
    const int per = complex ? 2 : 1;
    std::vector<double> buffer(static_cast<std::size_t>(cells * per));
    forEachPair(d, [&](int64_t, int64_t, const CSpctmChnChnDatazq& p) {
      for (int64_t t = 0; t < T; ++t) {
        const double* a = p.plane[first][t];
        const double* b = complex ? p.plane[second][t] : nullptr;
        for (int64_t f = 0; f < F; ++f) {
          // stf stores cell (t, f) at t*F + f, sft at f*T + t.
          const std::size_t at = static_cast<std::size_t>((sft ? f * T + t : t * F + f) * per);
          buffer[at] = a ? a[f] : 0.0;
          if (complex) buffer[at + 1] = b ? b[f] : 0.0;
        }
      }
      out.write(buffer.data(), static_cast<int64_t>(buffer.size()));
    });
    out.close();
    note(path, complex ? "complex128" : "float64", stored,
         sft ? ", \"dims\": [\"sensor\", \"sensor\", \"freq\", \"time\"]"
             : ", \"dims\": [\"sensor\", \"sensor\", \"time\", \"freq\"]");
  }

  void writeAxes(Dataset& d, const std::string& name) {
    std::vector<double> freqs(static_cast<std::size_t>(d.freqPt));
    for (int64_t f = 0; f < d.freqPt; ++f) freqs[static_cast<std::size_t>(f)] = d.getSpctmFreq4FreqIndex(f);
    std::vector<double> times(static_cast<std::size_t>(d.timePt));
    for (int64_t t = 0; t < d.timePt; ++t) times[static_cast<std::size_t>(t)] = timeOf(d, t);
    const std::string fpath = options_.folder + "/" + name + "_freqs.npy";
    created_.push_back(fpath);
    interop::writeNpy(fpath, {d.freqPt}, freqs);
    note(fpath, "float64", {d.freqPt},
         std::string(", \"unit\": \"Hz\", \"scale\": \"") + (d.freqAxisLog ? "geometric" : "linear") + "\"");
    const std::string tpath = options_.folder + "/" + name + "_times.npy";
    created_.push_back(tpath);
    interop::writeNpy(tpath, {d.timePt}, times);
    note(tpath, "float64", {d.timePt}, ", \"unit\": \"samples\"");
    if (samplingRate(d) > 0.0) {
      for (int64_t t = 0; t < d.timePt; ++t) times[static_cast<std::size_t>(t)] = timeSeconds(d, t);
      const std::string spath = options_.folder + "/" + name + "_times_s.npy";
      created_.push_back(spath);
      interop::writeNpy(spath, {d.timePt}, times);
      note(spath, "float64", {d.timePt}, ", \"unit\": \"s\", \"sfreq\": " + jsonNumber(samplingRate(d)));
    }
    if (reportLabelsDifferFromFrequencies(d)) {
      for (int64_t f = 0; f < d.freqPt; ++f) freqs[static_cast<std::size_t>(f)] = reportFrequencyLabel(d, f);
      const std::string lpath = options_.folder + "/" + name + "_freq_labels.npy";
      created_.push_back(lpath);
      interop::writeNpy(lpath, {d.freqPt}, freqs);
      note(lpath, "float64", {d.freqPt}, ", \"unit\": \"Hz\", \"role\": \"labels of the frequency report lines\"");
    }
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
    const std::string stem = options_.folder + "/" + name + "_summary_" + dataTypeKey(type);
    if (csv_) {
      const std::string path = stem + ".csv";
      created_.push_back(path);
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
    created_.push_back(path);
    interop::NpyWriter out(path, interop::NpyType::float64, {6, T, F});
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

  const ExportOptions& options_;
  Collection& c_;
  bool csv_;
  const WrittenFile& written_;
  std::vector<std::string> manifest_;
  std::vector<std::string> created_;
};


std::string tupleText(const std::vector<int64_t>& shape) {
  std::string s = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) s += (i ? ", " : "") + std::to_string(shape[i]);
  return s + (shape.size() == 1 ? ",)" : ")");
}

// Relative tolerance of the axis checks: the spacing of exported axes is
// exact to a few units in the last place, anything coarser is another axis.
constexpr double kAxisTolerance = 1e-6;

struct FreqAxis {
  bool geometric = false;
  double firstHz = 0.0;  // the dataset's freqFirstHz
  double lastHz = 0.0;
  double stepHz = 1.0;
  double ratio = 1.0;
};

struct TimeAxis {
  int64_t first = 0;
  int64_t step = 1;
};

// Checks an axis of `length` points: one dimension of that length, finite,
// strictly increasing values.
void checkAxisValues(const std::string& name, const std::vector<int64_t>& shape, const std::vector<double>& v,
                     int64_t length, const char* what) {
  if (shape.size() != 1 || shape[0] != length) {
    refuse(name + ": expected " + std::to_string(length) + " " + what + " (one per point), found shape " +
           tupleText(shape));
  }
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (!std::isfinite(v[k])) refuse(name + ": " + what + " value " + std::to_string(k) + " is not finite");
    if (k > 0 && !(v[k] > v[k - 1]))
      refuse(name + ": " + what + " are not strictly increasing at index " + std::to_string(k));
  }
}

// A 1-D float64 vector of `length` finite, strictly increasing values.
std::vector<double> readAxisVector(const std::string& path, int64_t length, const char* what) {
  interop::NpyReader reader(path);
  if (reader.type() != interop::NpyType::float64)
    refuse(path + ": " + what + " must be float64, found '" + reader.descr() + "'");
  if (reader.shape().size() != 1 || reader.shape()[0] != length) checkAxisValues(path, reader.shape(), {}, length, what);
  std::vector<double> v = reader.readAll();
  checkAxisValues(path, reader.shape(), v, length, what);
  return v;
}

FreqAxis detectFreqAxis(const std::string& path, const std::vector<double>& f) {
  FreqAxis axis;
  const std::size_t n = f.size();
  axis.firstHz = f[0];
  axis.lastHz = f[n - 1];
  if (n == 1) return axis;
  axis.stepHz = (f[n - 1] - f[0]) / static_cast<double>(n - 1);
  bool linear = true;
  for (std::size_t k = 0; k < n && linear; ++k) {
    linear = std::fabs(f[k] - (f[0] + static_cast<double>(k) * axis.stepHz)) <= kAxisTolerance * axis.stepHz;
  }
  if (linear) return axis;
  if (f[0] > 0.0) {
    const double ratio = std::pow(f[n - 1] / f[0], 1.0 / static_cast<double>(n - 1));
    bool geometric = true;
    for (std::size_t k = 0; k < n && geometric; ++k) {
      geometric = std::fabs(f[k] - f[0] * std::pow(ratio, static_cast<double>(k))) <= kAxisTolerance * f[k];
    }
    if (geometric) {
      // Point 0 of a geometric axis lies one ratio above freqFirstHz.
      axis.geometric = true;
      axis.ratio = ratio;
      axis.firstHz = f[0] / ratio;
      return axis;
    }
  }
  refuse(path + ": the frequencies are neither evenly spaced (linear) nor of constant ratio (geometric)");
}

// Sample positions from times: given as sample positions, or in seconds when
// the sampling rate `sfreq` is known (positions = times * sfreq).
TimeAxis detectTimeAxis(const std::string& path, const std::vector<double>& given, double sfreq) {
  std::vector<double> t = given;
  for (std::size_t k = 0; k < t.size(); ++k) {
    if (sfreq > 0.0) {
      const double position = t[k] * sfreq;
      if (std::fabs(position - std::nearbyint(position)) > 1e-6 * std::max(1.0, std::fabs(position))) {
        refuse(path + ": time " + std::to_string(k) + " (" + std::to_string(t[k]) + " s) is not on a sample of " +
               std::to_string(sfreq) + " Hz");
      }
      t[k] = std::nearbyint(position);
    }
    if (t[k] != std::nearbyint(t[k]) || std::fabs(t[k]) > 9.0e15) {
      refuse(path + ": time " + std::to_string(k) +
             " is not a whole sample position (give sample positions, or times in seconds with --sfreq)");
    }
  }
  TimeAxis axis;
  axis.first = static_cast<int64_t>(t[0]);
  if (t.size() > 1) axis.step = static_cast<int64_t>(t[1] - t[0]);
  for (std::size_t k = 1; k < t.size(); ++k) {
    if (static_cast<int64_t>(t[k] - t[k - 1]) != axis.step) refuse(path + ": the times are not evenly spaced");
  }
  return axis;
}

}  // namespace

void setFrequencyAxisFromHz(Dataset& d, const std::vector<double>& hz, const std::string& source) {
  if (hz.empty()) refuse(source + ": no frequencies");
  const FreqAxis axis = detectFreqAxis(source, hz);
  d.freqAxisLog = axis.geometric ? 1 : 0;
  d.freqFirstHz = axis.firstHz;
  d.freqLastHz = axis.lastHz;
  d.freqStepHz = axis.stepHz;
  d.freqRatio = axis.ratio;
}

bool makeFolder(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) refuse(folder + ": exists and is not a directory");
    return false;
  }
  if (::mkdir(folder.c_str(), 0777) != 0) refuse(folder + ": cannot create directory: " + std::strerror(errno));
  return true;
}

void exportCollection(Collection& c, const ExportOptions& options, const WrittenFile& written) {
  std::vector<int> classes = options.classes;
  if (classes.empty()) {
    for (int k = 0; k < kClassCount; ++k) {
      if (c.trialByClass[k]) classes.push_back(k);
    }
    if (classes.empty()) refuse(options.source + ": the collection holds no dataset");
  }
  for (const int k : classes) {
    if (k < 0 || k >= kClassCount || !c.trialByClass[k]) {
      refuse(options.source + ": the collection holds no " + classKey(k) + " dataset");
    }
  }
  if (options.dataType < -1 || options.dataType > 2) refuse("unknown data type " + std::to_string(options.dataType));
  Exporter exporter(options, c, written);
  for (const int k : classes) exporter.check(k);

  const bool madeFolder = makeFolder(options.folder);
  try {
    for (const int k : classes) exporter.exportClass(k);
    exporter.writeManifest(classes);
  } catch (...) {
    // A failed export leaves nothing half-written behind: the files it made
    // and the folder, when it made that too, go again.
    for (const std::string& path : exporter.created()) ::unlink(path.c_str());
    if (madeFolder) ::rmdir(options.folder.c_str());
    throw;
  }
}

namespace {

// The array being imported, wherever it comes from: its name in messages,
// shape and element type, and the reader of its next doubles in C order.
struct ImportSource {
  std::string name;
  std::vector<int64_t> shape;
  bool complex = false;
  std::function<void(double*, int64_t)> read;
};

struct AxesGiven {
  bool haveFreqs = false;
  FreqAxis freqAxis;
  bool haveTimes = false;
  TimeAxis timeAxis;
};

struct Grid {
  int64_t R = 0, C = 0, T = 0, F = 0;
};

Grid checkDataShape(const std::string& name, const std::vector<int64_t>& shape, bool sft) {
  if (shape.size() != 4) {
    refuse(name + ": expected a 4-D array sensors x sensors x " +
           (sft ? std::string("frequency x time") : std::string("time x frequency")) + ", found shape " +
           tupleText(shape));
  }
  for (const int64_t n : shape) {
    if (n < 1) refuse(name + ": shape " + tupleText(shape) + " has an empty dimension");
  }
  return {shape[0], shape[1], sft ? shape[3] : shape[2], sft ? shape[2] : shape[3]};
}

// Replaces the class dataset by the source's array, after the axes have been
// checked; see importDataset.
ImportSummary fillFromSource(Collection& collection, int cls, bool sft, int cmptTypeAsked, double sfreq,
                             const ImportSource& src, AxesGiven axes, CDialog* progressDlg, CString* progressText,
                             const RowProgress& rowsDone) {
  const Grid g = checkDataShape(src.name, src.shape, sft);
  const int64_t R = g.R, C = g.C, T = g.T, F = g.F;
  const bool complex = src.complex;
  bool haveFreqs = axes.haveFreqs;
  bool haveTimes = axes.haveTimes;
  FreqAxis freqAxis = axes.freqAxis;
  TimeAxis timeAxis = axes.timeAxis;

  int cmptType = 0;  // "CWT": Morlet wavelets are the usual source
  if (collection.trialByClass[cls]) cmptType = collection.trialByClass[cls]->cmptType;
  if (cmptTypeAsked == 0 || cmptTypeAsked == 1) cmptType = cmptTypeAsked;
  // Without axis files, take the axes of another dataset on the same grid.
  for (int k = 0; k < kClassCount; ++k) {
    const Dataset* other = collection.trialByClass[k];
    if (k == cls || !other) continue;
    if (!haveFreqs && other->freqPt == F) {
      freqAxis = {other->freqAxisLog != 0, other->freqFirstHz, other->freqLastHz, other->freqStepHz, other->freqRatio};
      haveFreqs = true;
    }
    if (!haveTimes && other->timePt == T && (sfreq == 0.0 || samplingRate(*other) == sfreq)) {
      timeAxis = {other->timeDataBegin + other->timePtOffset, other->timeStep};
      haveTimes = true;
    }
  }
  ImportSummary summary;
  if (!haveFreqs) {
    freqAxis.lastHz = static_cast<double>(F - 1);
    summary.freqsGuessed = true;
  }

  collection.deleteSpctmTrlData(cls);
  Dataset* d = collection.checkInitSpctmCxCData4Class(cls, R, C, T, F, true, complex ? 1 : 0, 0, progressDlg, progressText);
  if (!d) refuse("not enough memory for " + std::to_string(R) + " x " + std::to_string(C) + " pairs");

  const int64_t cells = T * F;
  const int per = complex ? 2 : 1;
  std::vector<double> raw(static_cast<std::size_t>(cells * per));
  std::vector<double> re(static_cast<std::size_t>(cells));
  std::vector<double> im(static_cast<std::size_t>(cells));
  std::vector<const double*> reRows(static_cast<std::size_t>(T));
  std::vector<const double*> imRows(static_cast<std::size_t>(T));
  for (int64_t t = 0; t < T; ++t) {
    reRows[static_cast<std::size_t>(t)] = &re[static_cast<std::size_t>(t * F)];
    imRows[static_cast<std::size_t>(t)] = &im[static_cast<std::size_t>(t * F)];
  }
  for (int64_t r = 0; r < R; ++r) {
    for (int64_t c = 0; c < C; ++c) {
      src.read(raw.data(), static_cast<int64_t>(raw.size()));
      for (int64_t t = 0; t < T; ++t) {
        for (int64_t f = 0; f < F; ++f) {
          // stf stores cell (t, f) at t*F + f, sft at f*T + t.
          const int64_t from = (sft ? f * T + t : t * F + f) * per;
          re[static_cast<std::size_t>(t * F + f)] = raw[static_cast<std::size_t>(from)];
          if (complex) im[static_cast<std::size_t>(t * F + f)] = raw[static_cast<std::size_t>(from + 1)];
        }
      }
      CSpctmChnChnDatazq* pair = d->getSnsActCC(r, c);
      const int ok = complex ? pair->addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), T, F)
                             : pair->addSpctmData2ChannelCWTr(reRows.data(), T, F);
      if (!ok) refuse("not enough memory for pair (" + std::to_string(r) + ", " + std::to_string(c) + ")");
      pair->chnA = r;
      pair->chnB = c;
    }
    if (rowsDone) rowsDone(r + 1, R);
  }

  d->setSpctmTimePtFreqPt(T, F, timeAxis.step);
  d->setTrialTimeDataRange4Spctm(timeAxis.first, timeAxis.first + T * timeAxis.step);
  d->timePtOffset = 0;
  d->freqAxisLog = freqAxis.geometric ? 1 : 0;
  d->freqFirstHz = freqAxis.firstHz;
  d->freqLastHz = freqAxis.lastHz;
  d->freqStepHz = freqAxis.stepHz;
  d->freqRatio = freqAxis.ratio;
  d->cmptType = cmptType;
  d->cxcType = "Cross-spectrum";
  if (sfreq > 0.0) {
    setSamplingRate(*d, sfreq, static_cast<double>(timeAxis.first) / sfreq);
  } else {
    clearSamplingRate(*d);
  }
  d->checkDataIntegraty();

  summary.rows = R;
  summary.cols = C;
  summary.timePt = T;
  summary.freqPt = F;
  summary.complex = complex;
  summary.geometric = freqAxis.geometric;
  summary.firstSample = timeAxis.first;
  summary.timeStep = timeAxis.step;
  summary.sfreq = sfreq;
  return summary;
}

void checkClass(int cls) {
  if (cls < 0 || cls >= kClassCount) refuse("unknown class " + std::to_string(cls));
}

void checkSamplingRate(double sfreq) {
  if (!(sfreq == 0.0 || (sfreq > 1.0 && std::isfinite(sfreq)))) {
    refuse("the sampling rate must be above 1 Hz, not " + std::to_string(sfreq));
  }
}

// Without times, a first time in seconds places the axis when the sampling
// rate is known.
void timeAxisFromStart(AxesGiven& axes, double sfreq, double tmin) {
  if (!axes.haveTimes && sfreq > 0.0 && std::isfinite(tmin)) {
    axes.timeAxis.first = static_cast<int64_t>(std::llround(tmin * sfreq));
    axes.haveTimes = true;
  }
}

}  // namespace

ImportSummary importDataset(Collection& collection, const ImportOptions& o, CDialog* progressDlg,
                            CString* progressText, const RowProgress& rowsDone) {
  checkClass(o.spctmClass);
  // Everything is checked before the collection is touched.
  interop::NpyReader data(o.data);
  const Grid g = checkDataShape(o.data, data.shape(), o.sft);
  AxesGiven axes;
  axes.haveFreqs = !o.freqs.empty();
  if (axes.haveFreqs) axes.freqAxis = detectFreqAxis(o.freqs, readAxisVector(o.freqs, g.F, "frequencies"));
  axes.haveTimes = !o.times.empty();
  checkSamplingRate(o.sfreq);
  if (axes.haveTimes) axes.timeAxis = detectTimeAxis(o.times, readAxisVector(o.times, g.T, "times"), o.sfreq);
  timeAxisFromStart(axes, o.sfreq, o.tmin);
  ImportSource src;
  src.name = o.data;
  src.shape = data.shape();
  src.complex = data.type() == interop::NpyType::complex128;
  src.read = [&data](double* out, int64_t n) { data.read(out, n); };
  return fillFromSource(collection, o.spctmClass, o.sft, o.cmptType, o.sfreq, src, axes, progressDlg, progressText,
                        rowsDone);
}

ImportSummary importArrays(Collection& collection, const ArrayImport& a, CDialog* progressDlg, CString* progressText,
                           const RowProgress& rowsDone) {
  checkClass(a.spctmClass);
  const Grid g = checkDataShape(a.data.name, a.data.shape, a.sft);
  const auto valuesOf = [](const ImportVector& v) {
    int64_t n = 1;
    for (const int64_t k : v.shape) n *= k;
    return std::vector<double>(v.values, v.values + (v.shape.empty() ? 0 : n));
  };
  AxesGiven axes;
  axes.haveFreqs = a.freqs.values != nullptr;
  if (axes.haveFreqs) {
    std::vector<double> f;
    if (a.freqs.shape.size() == 1) f = valuesOf(a.freqs);
    checkAxisValues(a.freqs.name, a.freqs.shape, f, g.F, "frequencies");
    axes.freqAxis = detectFreqAxis(a.freqs.name, f);
  }
  axes.haveTimes = a.times.values != nullptr;
  checkSamplingRate(a.sfreq);
  if (axes.haveTimes) {
    std::vector<double> t;
    if (a.times.shape.size() == 1) t = valuesOf(a.times);
    checkAxisValues(a.times.name, a.times.shape, t, g.T, "times");
    axes.timeAxis = detectTimeAxis(a.times.name, t, a.sfreq);
  }
  timeAxisFromStart(axes, a.sfreq, a.tmin);
  ImportSource src;
  src.name = a.data.name;
  src.shape = a.data.shape;
  src.complex = a.complex;
  const double* next = a.data.values;
  src.read = [&next](double* out, int64_t n) {
    std::copy(next, next + n, out);
    next += n;
  };
  return fillFromSource(collection, a.spctmClass, a.sft, a.cmptType, a.sfreq, src, axes, progressDlg, progressText,
                        rowsDone);
}

}  // namespace megcxc::host
