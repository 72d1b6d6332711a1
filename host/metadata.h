// What a host knows about a dataset beyond its numbers, each with one
// documented home:
//
// Time in seconds. The archive keeps time points as sample positions
// (timeDataBegin + timePtOffset + k * timeStep). When the sampling rate is
// known it is kept in the dataset's auxFactor1 (samples per second) and the
// time of time point 0 in seconds in auxValue1; the time statistics report
// labels its lines auxValue1 + k * timeStep / auxFactor1, so those labels are
// then seconds. auxFactor1 keeps its default 1.0 when the rate is unknown,
// and auxValue1 then holds the first sample position, so the report's labels
// are sample positions. A sampling rate of 1 Hz or less cannot be recorded.
//
// Channel names, types and units, and the unit of the values. The archive
// has no place for them: they live in a companion file beside the
// collection, "<collection file>.meta.json", which readers of the archive
// alone never look at. The host's load reads it (dropping what no longer
// fits the datasets, with a warning) and the host's save writes it
// atomically, or removes a stale one, after the collection itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/collection_file.h"
#include "host/names.h"

namespace megcxc::host {

// ---- time axis

// The sampling rate in Hz, or 0 when the dataset does not record one.
double samplingRate(const Dataset& dataset);
// The sample position of time point k.
double samplePosition(const Dataset& dataset, int64_t k);
// The time of time point k in seconds; NaN without a sampling rate.
double timeSeconds(const Dataset& dataset, int64_t k);
// Records `sfreq` (> 1 Hz) and the time of time point 0 in seconds.
void setSamplingRate(Dataset& dataset, double sfreq, double firstTimeSeconds);
// Forgets the sampling rate: report labels become sample positions again.
void clearSamplingRate(Dataset& dataset);

// ---- frequency axis

// True when the frequency report's line labels (the format's definition for
// a geometric axis: freqFirstHz + ratio^k) differ from the true frequencies
// of the points (freqFirstHz * ratio^(k+1)).
bool reportLabelsDifferFromFrequencies(Dataset& dataset);
// The label the frequency report prints for point k.
double reportFrequencyLabel(const Dataset& dataset, int64_t k);

// ---- channels and units

struct ChannelInfo {
  std::string name;
  std::string type;  // e.g. "grad", "mag", "eeg"; empty when unknown
  std::string unit;  // e.g. "T/m"; empty when unknown
};

struct DatasetMetadata {
  std::vector<ChannelInfo> rows;  // one per sensor row, or none
  std::vector<ChannelInfo> cols;  // one per sensor column, or none
  std::string valueUnit;          // unit of the plane values, e.g. "T²/Hz"; empty when unknown
  bool empty() const { return rows.empty() && cols.empty() && valueUnit.empty(); }
};

struct Metadata {
  DatasetMetadata byClass[kClassCount];
  bool empty() const;
};

// The companion file of a collection file.
std::string metadataPath(const std::string& collectionPath);

// Reads the companion file of `collectionPath`: empty metadata when there is
// none. Names whose count does not match the dataset's rows or columns (when
// `collection` is given) are dropped and a warning says so; a companion that
// cannot be parsed is ignored with a warning. Never throws for the
// companion's content; Refused only when it exists but cannot be read.
Metadata readMetadata(const std::string& collectionPath, const Collection* collection,
                      std::vector<std::string>* warnings);

// Writes the companion of `collectionPath` atomically, or removes it when
// `metadata` is empty. Refused naming the companion when that fails.
void writeMetadata(const std::string& collectionPath, const Metadata& metadata);

// Gives datasets without channel names those of another dataset of the same
// sensor counts (the active one first): a dataset made from others (A-C)
// stands for the same sensors.
void completeMetadata(const Collection& collection, Metadata& metadata);

// The collection file and its companion together: loadCollectionFile, then
// readMetadata (warnings as there); and completeMetadata, saveCollectionFile,
// then writeMetadata.
// `progress` reports the collection file's bytes (see ByteProgress).
ArchiveHeader loadCollectionWithMetadata(const std::string& path, Collection& collection, Metadata& metadata,
                                         bool acceptTrial = false, std::vector<std::string>* warnings = nullptr,
                                         const ByteProgress& progress = {});
void saveCollectionWithMetadata(const std::string& path, Collection& collection, Metadata& metadata,
                                const ByteProgress& progress = {});

// The name of sensor row (or column) `index` of a class dataset: its name
// when known, else its 0-based index as text.
std::string sensorLabel(const Metadata& metadata, int spctmClass, int64_t index, bool column = false);

// Reads one name per line (blank lines and trailing white space ignored).
// Refused naming the file when it cannot be read.
std::vector<std::string> readNameList(const std::string& path);

// Engineering notation: 1.23e-24 -> "1.23e-24", 0.0012 -> "1.2e-03"... with
// three significant digits and an exponent that is a multiple of 3.
std::string engineering(double v);

}  // namespace megcxc::host
