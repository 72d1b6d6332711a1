// What a host tells a user about a collection and its datasets: the plane
// census of a dataset, where its largest value lies, the description that
// `cxc info` prints (text and JSON, so every front end prints the same), and
// the statistics report over the three planes as the manager shows it.
#pragma once

#include <cstdint>
#include <string>

#include "host/collection_file.h"
#include "platform/cstring.h"

namespace megcxc::host {

// How many pairs of a dataset hold each working plane and each raw plane.
struct PlaneCensus {
  int64_t pairs = 0;  // pairs in present rows
  int64_t working[3] = {0, 0, 0};
  int64_t raw[3] = {0, 0, 0};
  int64_t extentMismatch = 0;  // pairs whose extents differ from the dataset's
};
PlaneCensus countPlanes(const Dataset& dataset);

// The largest value of plane `dataType` over the pairs of a dataset, with its
// position; `skipDiagonal` leaves out the pairs of a sensor with itself. NaN
// cells are ignored; found is false when no cell was seen.
struct PlanePeak {
  bool found = false;
  int64_t row = 0;
  int64_t column = 0;
  int64_t timeIndex = 0;
  int64_t freqIndex = 0;
  double value = 0.0;
};
PlanePeak findPlanePeak(const Dataset& dataset, int dataType, bool skipDiagonal);

// The smallest and largest finite value of plane `dataType` over the pairs
// of a dataset, and the largest magnitude; found is false without any.
struct PlaneRange {
  bool found = false;
  double min = 0.0;
  double max = 0.0;
  double maxAbs = 0.0;
};
PlaneRange planeRange(const Dataset& dataset, int dataType);

// A power of 1000 that brings a largest magnitude into [1, 1000) (1 for 0 or
// a non-finite value): the factor `cxc report --scale auto` applies.
double autoScaleFor(double maxAbs);

struct Metadata;

// The description of a loaded file: its header, the collection's fields and
// every dataset present (a single trial archive shows as "trial"). `file` is
// the name printed on the first line.
// With `metadata`, channel names, units and the value ranges are described
// too.
std::string describeCollectionText(const std::string& file, const ArchiveHeader& header, Collection& collection,
                                   const Metadata* metadata = nullptr);
std::string describeCollectionJson(const std::string& file, const ArchiveHeader& header, Collection& collection,
                                   const Metadata* metadata = nullptr);

// The frequency (timeReport false) or time statistics report of a dataset:
// for one data type its lines alone, for dataType -1 the three data types
// under one header with their section titles, as the manager window shows
// them: empty when no data type has a line, unless `keepEmpty` (the manager
// shows the header and the titles even then).
CString statisticsReport(Dataset& dataset, bool timeReport, int dataType = -1, bool keepEmpty = false);

// The JSON forms of a string (quoted, escaped) and of a double (null for NaN
// and infinities, which JSON lacks).
std::string jsonString(const std::string& s);
std::string jsonNumber(double v);

struct DatasetMetadata;
// The JSON members "value_unit", "row_names" and "col_names" of a dataset's
// metadata (no braces), as info --json and the export manifest write them.
std::string metadataJsonMembers(const DatasetMetadata& metadata);

}  // namespace megcxc::host
