// A class dataset to and from mne-connectivity's spectro-temporal
// connectivity file (see interop/mne_connectivity.h for the file itself).
//
// Export: the full sensor x sensor matrix as n^2 connections in row-major
// order (indices "all"), complex when the dataset has real and imaginary
// planes (else its real plane, or its power/phase plane when that is the
// only one), frequencies in Hz, times in seconds (sample positions when the
// dataset records no sampling rate), node names from the metadata, sfreq
// when known, method from the dataset's CxC type.
//
// Import: pair (row r, column c) takes connection r -> c. A file of
// spectral_connectivity_epochs without indices holds only the lower triangle
// (row > column): the upper one is completed as the conjugate (the negative
// for "imcoh", the value itself for other real measures); cells the file
// has no value for become 0. Times come with the file's sfreq, or, without
// one, one sample per time point (sfreq 1 / time step).
#pragma once

#include <string>

#include "host/collection_file.h"
#include "host/metadata.h"

namespace megcxc::host {

// Writes class dataset `spctmClass`; Refused naming the dataset or the file.
void exportMneConnectivity(Collection& collection, int spctmClass, const Metadata& metadata, const std::string& path);

struct MneImportSummary {
  int64_t nodes = 0, freqPt = 0, timePt = 0;
  bool complex = false;
  bool completedUpperTriangle = false;
  int64_t cellsWithoutValue = 0;  // set to 0
  double sfreq = 0.0;
  std::string method;
};

// Replaces class dataset `spctmClass` by the file's data and its names in
// `metadata`; every check runs before the collection is touched.
MneImportSummary importMneConnectivity(Collection& collection, int spctmClass, const std::string& path,
                                       Metadata& metadata);

}  // namespace megcxc::host
