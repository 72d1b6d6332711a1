// cxc import: spectra computed elsewhere (NumPy, MNE-Python's Morlet
// transform) into one class dataset of a collection file, pair by pair
// through the host entry of the channel-pair record.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/cxc/commands.h"
#include "interop/npy.h"
#include "tools/cxc/pipeline.h"

namespace cxc {

using namespace megcxc::interop;

namespace {

struct ImportArgs {
  std::string file;
  std::string className;
  std::string data;
  std::string layout = "stf";
  std::string freqs;
  std::string times;
  std::string cmpt;
  std::string output;
};

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

std::string shapeText(const std::vector<int64_t>& shape) {
  std::string s = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) s += (i ? ", " : "") + std::to_string(shape[i]);
  return s + (shape.size() == 1 ? ",)" : ")");
}

// A 1-D float64 vector of `length` finite, strictly increasing values.
std::vector<double> readAxisVector(const std::string& path, int64_t length, const char* what) {
  NpyReader reader(path);
  if (reader.type() != NpyType::float64)
    refuse(path + ": " + what + " must be float64, found '" + reader.descr() + "'");
  if (reader.shape().size() != 1 || reader.shape()[0] != length) {
    refuse(path + ": expected " + std::to_string(length) + " " + what + " (one per point), found shape " +
           shapeText(reader.shape()));
  }
  std::vector<double> v = reader.readAll();
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (!std::isfinite(v[k])) refuse(path + ": " + what + " value " + std::to_string(k) + " is not finite");
    if (k > 0 && !(v[k] > v[k - 1]))
      refuse(path + ": " + what + " are not strictly increasing at index " + std::to_string(k));
  }
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

TimeAxis detectTimeAxis(const std::string& path, const std::vector<double>& t) {
  for (std::size_t k = 0; k < t.size(); ++k) {
    if (t[k] != std::nearbyint(t[k]) || std::fabs(t[k]) > 9.0e15) {
      refuse(path + ": time " + std::to_string(k) +
             " is not a whole sample position (give sample indices, e.g. np.round(times * sfreq))");
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

std::string fileStem(const std::string& path) {
  std::string base = path.substr(path.find_last_of('/') + 1);
  const std::size_t dot = base.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

int runImport(const ImportArgs& args) {
  const int cls = classFromName(args.className);
  const std::string out = args.output.empty() ? args.file : args.output;

  // Everything is checked before the collection is touched: nothing is
  // written unless the whole import can succeed.
  NpyReader data(args.data);
  const std::vector<int64_t>& shape = data.shape();
  if (shape.size() != 4) {
    refuse(args.data + ": expected a 4-D array sensors x sensors x " +
           (args.layout == "stf" ? std::string("time x frequency") : std::string("frequency x time")) +
           ", found shape " + shapeText(shape));
  }
  for (const int64_t n : shape) {
    if (n < 1) refuse(args.data + ": shape " + shapeText(shape) + " has an empty dimension");
  }
  const bool sft = args.layout == "sft";
  const int64_t R = shape[0], C = shape[1];
  const int64_t T = sft ? shape[3] : shape[2];
  const int64_t F = sft ? shape[2] : shape[3];
  const bool complex = data.type() == NpyType::complex128;

  bool haveFreqs = !args.freqs.empty();
  FreqAxis freqAxis;
  if (haveFreqs) freqAxis = detectFreqAxis(args.freqs, readAxisVector(args.freqs, F, "frequencies"));
  bool haveTimes = !args.times.empty();
  TimeAxis timeAxis;
  if (haveTimes) timeAxis = detectTimeAxis(args.times, readAxisVector(args.times, T, "times"));

  TerminalProgress progress;
  MessageConsole console(false);
  console.attachProgress(&progress);
  Collection collection;
  const bool existed = pathExists(args.file);
  if (existed) {
    loadCollectionFile(args.file, collection, console, false);
  } else {
    collection.collectionName = fileStem(out);
  }

  int cmptType = 0;  // "CWT": Morlet wavelets are the usual source
  if (collection.trialByClass[cls]) cmptType = collection.trialByClass[cls]->cmptType;
  if (!args.cmpt.empty()) cmptType = args.cmpt == "CWT" ? 0 : 1;
  // Without axis files, take the axes of another dataset on the same grid.
  for (int k = 0; k < kClassCount; ++k) {
    const Dataset* other = collection.trialByClass[k];
    if (k == cls || !other) continue;
    if (!haveFreqs && other->freqPt == F) {
      freqAxis = {other->freqAxisLog != 0, other->freqFirstHz, other->freqLastHz, other->freqStepHz, other->freqRatio};
      haveFreqs = true;
    }
    if (!haveTimes && other->timePt == T) {
      timeAxis = {other->timeDataBegin + other->timePtOffset, other->timeStep};
      haveTimes = true;
    }
  }
  if (!haveFreqs) {
    freqAxis.lastHz = static_cast<double>(F - 1);
    std::fprintf(stderr, "cxc: no --freqs: frequency point k is labelled k Hz\n");
  }

  collection.deleteSpctmTrlData(cls);
  Dataset* d =
      collection.checkInitSpctmCxCData4Class(cls, R, C, T, F, true, complex ? 1 : 0, 0, &progress, progress.text());
  progress.finish();
  if (!d) refuse(out + ": not enough memory for " + std::to_string(R) + " x " + std::to_string(C) + " pairs");

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
      data.read(raw.data(), static_cast<int64_t>(raw.size()));
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
      if (!ok) refuse(out + ": not enough memory for pair (" + std::to_string(r) + ", " + std::to_string(c) + ")");
      pair->chnA = r;
      pair->chnB = c;
    }
    progress.step("importing pairs", r + 1, R);
  }
  progress.finish();

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
  d->checkDataIntegraty();
  if (!existed) collection.autoFindSetSpctmClass();

  saveCollectionFile(out, collection);
  std::printf("imported %s as the %s dataset of %s: %lld x %lld sensors, %lld time x %lld frequency points, %s\n",
              args.data.c_str(), args.className.c_str(), out.c_str(), static_cast<long long>(R),
              static_cast<long long>(C), static_cast<long long>(T), static_cast<long long>(F),
              complex ? "complex" : "real only");
  std::printf("frequency axis %s, %.6g .. %.6g Hz; time step %lld samples from sample %lld\n",
              freqAxis.geometric ? "geometric" : "linear", d->getSpctmFreq4FreqIndex(0),
              d->getSpctmFreq4FreqIndex(F - 1), static_cast<long long>(timeAxis.step),
              static_cast<long long>(timeAxis.first));
  return kExitOk;
}

}  // namespace

void addImportCommand(CLI::App& app, CommandList& commands) {
  auto args = std::make_shared<ImportArgs>();
  CLI::App* sub = app.add_subcommand(
      "import",
      "Fill one class dataset from a .npy array of cross-spectra (complex128, or float64 for real-only data), "
      "creating the collection file if it does not exist");
  sub->add_option("FILE", args->file, "collection file to update or create")->required();
  sub->add_option("--class", args->className, "class dataset to fill (replaced if present)")
      ->required()
      ->check(CLI::IsMember({"active", "control", "act-ctl"}));
  sub->add_option("--data", args->data, "array sensors x sensors x time x frequency (.npy)")->required();
  sub->add_option("--layout", args->layout,
                  "stf: sensors, sensors, time, frequency; sft: frequency before time "
                  "(MNE's order)")
      ->check(CLI::IsMember({"stf", "sft"}))
      ->capture_default_str();
  sub->add_option("--freqs", args->freqs, "frequencies in Hz (.npy float64, linear or geometric)");
  sub->add_option("--times", args->times, "sample position of each time point (.npy float64, evenly spaced)");
  sub->add_option("--cmpt", args->cmpt, "how these cross-spectra were computed: CWT or GBT")
      ->check(CLI::IsMember({"CWT", "GBT"}));
  sub->add_option("-o,--output", args->output, "write here instead of FILE");
  commands.push_back({sub, [args] { return runImport(*args); }});
}

}  // namespace cxc
