// Connectivity from sensor epochs into a collection, for every front end:
// the files a host hands in (.npy epochs, frequencies and cycles, a channel
// name list) read and checked, and the active / control datasets computed by
// compute/ (see compute/connectivity.h for the measures and the datasets).
//
// Failures throw megcxc::Refused with one line naming the file or the
// problem; every input is read and checked before the collection is touched.
#pragma once

#include <string>
#include <vector>

#include "compute/connectivity.h"
#include "host/collection_file.h"

namespace megcxc::host {

// Epochs read from a .npy file: float64 or float32 epochs x channels x samples
// in C order, kept in the file's type. `view()` points into the object.
struct EpochsFile {
  std::string path;
  std::vector<int64_t> shape;  // epochs, channels, samples
  std::vector<double> float64;
  std::vector<float> float32;
  compute::EpochsView view() const;
};

// Reads an epochs file. Refused (naming the file) for another dtype, another
// number of dimensions or an unreadable file.
EpochsFile loadEpochsFile(const std::string& path);

// A 1-D float64 (or float32) .npy vector, e.g. frequencies or cycles.
std::vector<double> loadVectorFile(const std::string& path, const char* what);

// Channel names, one a line (blank lines at the end ignored, surrounding
// blanks kept off); refused when the count differs from `channels`.
std::vector<std::string> loadChannelNames(const std::string& path, int64_t channels);

struct ComputeRequest {
  std::string active;   // epochs file of the active condition (required)
  std::string control;  // epochs file of the control condition, optional
  std::string channelNames;  // optional
  compute::Options options;
};

struct ClassRun {
  int spctmClass = 0;
  compute::Plan plan;
  compute::RunFigures figures;
};

struct ComputeOutcome {
  std::vector<ClassRun> runs;
  // Kept for the host: the archive has no field for them yet.
  std::vector<std::string> channelNames;
};

// Epochs a host already holds in memory (a NumPy array, say): the view and
// the label refusals name (a file name, or "active" / "control").
struct EpochsSource {
  std::string label;
  compute::EpochsView view;
};

// The in-memory form of computeCollection below: `control` may be null,
// `channelNames` empty or one name per channel (refused otherwise). The views
// must stay valid until the call returns; nothing is copied from them.
ComputeOutcome computeCollection(Collection& collection, const EpochsSource& active, const EpochsSource* control,
                                 std::vector<std::string> channelNames, const compute::Options& options,
                                 const compute::Progress& progress = {});

// Computes the active dataset (and the control dataset when asked) into
// `collection`, replacing those classes. Refused, before the collection is
// touched, for unreadable files, active and control epochs of different
// channel counts, a name list of the wrong length and everything
// compute::planConnectivity refuses; a dataset is stored only when it was
// computed completely.
ComputeOutcome computeCollection(Collection& collection, const ComputeRequest& request,
                                 const compute::Progress& progress = {});

}  // namespace megcxc::host
