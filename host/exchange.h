// Planes, axes and summaries in and out of a collection as NumPy .npy files
// (or CSV), the exchange with NumPy and MNE-Python users.
//
// Export writes, per class dataset <c> (active, control, act-ctl):
//   <c>_cross.npy       complex128 sensors x sensors x time x frequency, when
//                       real and imaginary planes are both present
//   <c>_real.npy        float64, when only the real plane is present (or
//                       asked for with a data type)
//   <c>_imag.npy        float64, when the imaginary plane is asked for
//   <c>_power.npy       float64, the power/phase plane when present
//   <c>_freqs.npy       float64, the frequency of each point in Hz
//   <c>_times.npy       float64, the sample position of each time point
//   <c>_summary_<t>.npy float64 6 x time x frequency per computed summary:
//                       minimum, mean, maximum, positive mean, non-positive
//                       mean, RMS over the pairs
//   <c>_times_s.npy     float64, the time of each time point in seconds, when
//                       the dataset records its sampling rate
//   <c>_freq_labels.npy float64, the frequency report's line labels, when
//                       they differ from the frequencies (a geometric axis)
// and manifest.json lists every file with its shape and the summary figures,
// and per dataset its sampling rate, channel names and value unit.
// CSV holds the same in long form: one line per pair and cell.
//
// Import fills one class dataset from such an array, pair by pair through
// the host entry of the channel-pair record.
//
// Both throw megcxc::Refused naming the file and the problem.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/collection_file.h"
#include "host/demo_data.h"

class CDialog;

namespace megcxc::host {

struct Metadata;

struct ExportOptions {
  std::string source;        // the collection file, named in the manifest
  std::string folder;        // created when missing
  std::vector<int> classes;  // empty: every dataset present
  int dataType = -1;         // only this plane; -1: every plane present
  bool csv = false;
  bool sft = false;          // .npy planes as sensors x sensors x frequency x time (MNE's order)
  const Metadata* metadata = nullptr;  // names and units for the manifest, when known
};

// Told of every file written: its path and "dtype [shape]".
using WrittenFile = std::function<void(const std::string& path, const std::string& what)>;

// Writes the files of every chosen dataset and the manifest. Refused (before
// anything is written) for a class without a dataset, a dataset with missing
// pairs, pairs of differing extents or a plane present in only some pairs, or
// a chosen plane the dataset lacks; refused when a file cannot be written.
void exportCollection(Collection& collection, const ExportOptions& options, const WrittenFile& written = {});

// Sets the frequency axis fields of `dataset` (freqAxisLog, freqFirstHz,
// freqLastHz, freqStepHz, freqRatio) to describe the frequencies `hz` (in
// increasing order): linear when evenly spaced, geometric when of constant
// ratio, each to a relative 1e-6. Refused naming `source` otherwise.
void setFrequencyAxisFromHz(Dataset& dataset, const std::vector<double>& hz, const std::string& source);

// Creates `folder` when it does not exist; Refused when it cannot be made or
// is not a folder. True when it was made.
bool makeFolder(const std::string& folder);

struct ImportOptions {
  int spctmClass = 0;
  std::string data;       // .npy: sensors x sensors x time x frequency (sft: frequency before time)
  bool sft = false;
  std::string freqs;      // .npy of the frequencies in Hz (linear or geometric), optional
  std::string times;      // .npy of each time point: sample positions, or seconds with sfreq; optional
  double sfreq = 0.0;     // sampling rate in Hz (> 1), recorded in the dataset; 0: unknown
  double tmin = std::nan("");  // with sfreq and without times: time of the first point in seconds
  int cmptType = -1;      // 0 CWT, 1 GBT; -1: that of the dataset replaced, else CWT
};

struct ImportSummary {
  int64_t rows = 0, cols = 0, timePt = 0, freqPt = 0;
  bool complex = false;
  bool geometric = false;
  bool freqsGuessed = false;  // no axis was given or found: point k is labelled k Hz
  int64_t firstSample = 0;
  int64_t timeStep = 1;
  double sfreq = 0.0;
};

// Replaces the class dataset of `collection` by the array. Without axis files
// the axes of another dataset of the collection on the same grid are taken.
// Every check (array, axes) runs before the collection is touched. Progress
// of the dataset initialisation goes to progressDlg / progressText, the
// filling to `rows` (all may be null / empty).
ImportSummary importDataset(Collection& collection, const ImportOptions& options, CDialog* progressDlg = nullptr,
                            CString* progressText = nullptr, const RowProgress& rows = {});

// An array held in memory (a binding's buffer): `name` stands for it in
// messages where a file import names the file; values null means not given
// (allowed for the axes only).
struct ImportVector {
  std::string name;
  std::vector<int64_t> shape;
  const double* values = nullptr;  // C order
};

struct ArrayImport {
  int spctmClass = 0;
  ImportVector data;     // sensors x sensors x time x frequency (sft: frequency before time)
  bool complex = false;  // data holds real and imaginary part of each element, interleaved
  bool sft = false;
  ImportVector freqs;    // the frequency of each point in Hz (linear or geometric)
  ImportVector times;    // each time point: sample positions, or seconds with sfreq
  double sfreq = 0.0;    // sampling rate in Hz (> 1), recorded in the dataset; 0: unknown
  double tmin = std::nan("");  // with sfreq and without times: time of the first point in seconds
  int cmptType = -1;
};

// importDataset from arrays in memory: the same checks, messages and result.
ImportSummary importArrays(Collection& collection, const ArrayImport& arrays, CDialog* progressDlg = nullptr,
                           CString* progressText = nullptr, const RowProgress& rows = {});

}  // namespace megcxc::host
