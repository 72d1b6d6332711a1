// A class dataset to and from mne-connectivity's spectro-temporal
// connectivity, in two layers: the in-memory mapping between a dataset and
// interop::MneConnectivity (what the Python package uses to build and read a
// SpectroTemporalConnectivity object from arrays), and the file functions
// that put interop/mne_connectivity's reader and writer around it (what
// `cxc export --format mne-connectivity` and `cxc import --from` use).
//
// Dataset -> connectivity: the full sensor x sensor matrix as n^2
// connections in row-major order (indices "all"), complex when the dataset
// has real and imaginary planes (else its real plane, or its power/phase
// plane when that is the only one), frequencies in Hz, times in seconds
// (sample positions when the dataset records no sampling rate), node names
// from the metadata, sfreq when known, method from the dataset's CxC type.
//
// Connectivity -> dataset: pair (row r, column c) takes connection r -> c.
// A result of spectral_connectivity_epochs without indices holds only the
// lower triangle (row > column): the upper one is completed as the conjugate
// (the negative for "imcoh", the value itself for other real measures);
// cells without a value become 0. Times come with the sfreq, or, without
// one, one sample per time point (sfreq 1 / time step).
#pragma once

#include <string>

#include "host/collection_file.h"
#include "host/metadata.h"
#include "interop/mne_connectivity.h"

namespace megcxc::host {

// The connectivity of class dataset `spctmClass` (raveled, indices "all").
// Refused naming `what` (the file, or the dataset for a caller without one)
// when the slot is empty or the dataset is not a complete square sensor
// matrix on one grid.
interop::MneConnectivity mneConnectivityOf(Collection& collection, int spctmClass, const Metadata& metadata,
                                           const std::string& what);

struct MneImportSummary {
  int64_t nodes = 0, freqPt = 0, timePt = 0;
  bool complex = false;
  bool completedUpperTriangle = false;
  int64_t cellsWithoutValue = 0;  // set to 0
  double sfreq = 0.0;
  std::string method;
};

// Replaces class dataset `spctmClass` by the connectivity and its names in
// `metadata`; every check (the struct's own consistency included) runs
// before the collection is touched. Refusals name `what`.
MneImportSummary setFromMneConnectivity(Collection& collection, int spctmClass, const interop::MneConnectivity& in,
                                        Metadata& metadata, const std::string& what);

// The file forms: mneConnectivityOf written to `path`; the file at `path`
// read and given to setFromMneConnectivity.
void exportMneConnectivity(Collection& collection, int spctmClass, const Metadata& metadata, const std::string& path);
MneImportSummary importMneConnectivity(Collection& collection, int spctmClass, const std::string& path,
                                       Metadata& metadata);

}  // namespace megcxc::host
