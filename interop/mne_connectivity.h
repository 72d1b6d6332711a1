// mne-connectivity files of time-frequency connectivity: what
// `SpectroTemporalConnectivity.save` writes and
// `mne_connectivity.read_connectivity` reads (mne-connectivity 0.5, through
// xarray's h5netcdf engine with invalid_netcdf=True). The file is HDF5 in the
// netCDF-4 layout; we read and write it with the HDF5 C library.
//
// Layout (root group, no group attributes; links and attributes tracked in
// creation order):
//
//   "__xarray_dataarray_variable__"   the data variable, C order
//       type   float64, or complex128 as an HDF5 compound of two
//              little-endian doubles named "r" and "i" (16 bytes; this is
//              the part plain netCDF-4 cannot hold)
//       shape  (n_connections, n_freqs, n_times), dims
//              ("node_in -> node_out", "freqs", "times"): always the raveled
//              form; 0.5 refuses a 4-D (n_nodes, n_nodes, n_freqs, n_times)
//              array for this class, and `get_data(output='dense')` builds
//              that form from the raveled one and `indices`. The reader also
//              takes that 4-D form (any names for the two node dims, freqs
//              and times last, indices "all" or "n/a"), as xarray would
//              save such an array with the same attributes.
//       attrs  DIMENSION_LIST (object references to the three dimension
//              scales), _Netcdf4Coordinates (int32 [0, 1, 2]),
//              _Netcdf4Dimid (int32 0), _FillValue (float64 NaN, real data
//              only), then the connectivity attributes below
//   "node_in -> node_out"  dimension scale: variable-length UTF-8 strings
//              "0", "1", ... (one per connection); _Netcdf4Dimid 0
//   "freqs"    dimension scale, float64 Hz; _FillValue NaN; _Netcdf4Dimid 1
//   "times"    dimension scale, float64 seconds; _FillValue NaN;
//              _Netcdf4Dimid 2
//   Each scale carries CLASS "DIMENSION_SCALE", NAME (its name, fixed-length
//   ASCII) and REFERENCE_LIST back to the data variable.
//
// Connectivity attributes of the data variable. Text is variable-length
// UTF-8 (a scalar for one string, a 1-D array for a list), integers int64,
// numbers float64; None is stored as the text "n/a":
//   data_structure  "SpectroTemporalConnectivity" (read_connectivity picks
//                   the class by it)
//   node_names      text array, n_nodes names
//   n_nodes         int64
//   method          text, or a text array: spectral_connectivity_epochs
//                   stores the list of every method it computed
//   indices         "all": n_nodes^2 connections, row-major (seed, target);
//                   "symmetric": the upper triangle with the diagonal in
//                   numpy.triu_indices order, n_nodes (n_nodes + 1) / 2
//                   connections; int64 (2, n_connections): seeds and
//                   targets; "n/a": spectral_connectivity_epochs without
//                   indices, n_nodes^2 connections row-major of which only
//                   the strict lower triangle (seed > target) holds values
//                   and the rest is zero
//   n_epochs_used   int64 or "n/a"
//   sfreq           float64, only when the creator passed one
//   metadata        text, the epochs metadata as JSON ("[]" when none);
//                   read_connectivity requires it
//   others, kept as they are: spec_method ("cwt_morlet"), n_tapers ("n/a"
//   for wavelets), freqs_used / times_used (float64 arrays), events (int64
//   (n_events, 3), or float64 (0, 3) when empty), event_id_keys (text) and
//   event_id_vals (int64; both float64 (0,) when empty), and whatever
//   keyword arguments the creator added.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace megcxc::interop {

// One attribute as stored: text, integers or numbers with its shape (empty
// shape: a scalar), the values in C order.
struct MneAttribute {
  enum class Type { text, integer, real };
  std::string name;
  Type type = Type::text;
  std::vector<int64_t> shape;
  std::vector<std::string> texts;
  std::vector<int64_t> integers;
  std::vector<double> reals;

  static MneAttribute text(std::string name, std::string value);
  static MneAttribute integer(std::string name, int64_t value);
  static MneAttribute real(std::string name, double value);

  // Number of values the shape holds (1 for a scalar).
  int64_t count() const;
  // The values on one line: cwt_morlet, 250, [20, 25.5], [[0, 0, 1], [1, 0, 1]].
  std::string toString() const;
};

// How the connections (first axis of the raveled data) map to node pairs.
enum class MneIndices {
  unset,      // "n/a": n_nodes^2 connections, row-major, lower triangle filled
  all,        // n_nodes^2 connections, row-major
  symmetric,  // upper triangle with the diagonal, numpy.triu_indices order
  pairs,      // seeds[k] -> targets[k]
};

enum class MneLayout {
  raveled,  // (n_connections, n_freqs, n_times)
  dense,    // (n_nodes, n_nodes, n_freqs, n_times)
};

struct MneConnectivity {
  std::string dataStructure = "SpectroTemporalConnectivity";
  bool complex = false;
  MneLayout layout = MneLayout::raveled;
  std::vector<int64_t> shape;     // as stored
  std::vector<std::string> dims;  // as stored; the writer names them itself
  // C order over `shape`; complex values as real, imaginary pairs.
  std::vector<double> data;
  std::vector<double> freqs;  // Hz
  std::vector<double> times;  // seconds
  int64_t nNodes = 0;
  std::vector<std::string> nodeNames;  // empty on writing: "0", "1", ...
  // One entry is written as a plain string, several as a list.
  std::vector<std::string> method;
  MneIndices indices = MneIndices::all;
  std::vector<int64_t> seeds, targets;  // MneIndices::pairs only
  std::optional<double> sfreq;
  std::optional<int64_t> nEpochsUsed;  // none: "n/a"
  // Every other attribute, in the order read (metadata, spec_method,
  // n_tapers, events, ...). The writer adds metadata "[]" when absent.
  std::vector<MneAttribute> extra;

  // The attribute of that name in `extra`, or null.
  const MneAttribute* findExtra(const std::string& name) const;
};

// Number of connections the index convention gives for n nodes
// (n^2, n (n + 1) / 2 or the pair count).
int64_t mneConnectionCount(const MneConnectivity& c);

// The data as (n_nodes, n_nodes, n_freqs, n_times) (doubles per element as
// in `data`), as get_data(output='dense') gives it: "all", "n/a" and dense
// files as stored, "symmetric" mirrored onto the lower triangle, pairs in
// their cells and NaN in the cells of no connection.
std::vector<double> mneDenseData(const MneConnectivity& c);

// Checks that the struct is consistent (one data structure the module
// handles, node names, indices, shape and values agreeing) and returns its
// number of connections; Refused naming `what` and the problem otherwise.
// The reader's results pass; the writer runs it first.
int64_t checkMneConnectivity(const MneConnectivity& c, const std::string& what);

// Reads a file. Throws Refused naming the file and the problem: not HDF5,
// truncated or damaged, no single data variable, a class other than
// SpectroTemporalConnectivity, missing or inconsistent dims, coordinates
// or attributes, sizes the file cannot hold.
MneConnectivity readMneConnectivity(const std::string& path);

// Writes `c` in the raveled form (a dense `c` is written raveled with
// indices "all", the same values in the same order) to a temporary file
// beside `path`, synced and renamed over it; on failure the temporary file
// is removed and `path` is untouched. Throws Refused naming the file and the
// problem (inconsistent sizes, names or indices; cannot write).
void writeMneConnectivity(const std::string& path, const MneConnectivity& c);

}  // namespace megcxc::interop
