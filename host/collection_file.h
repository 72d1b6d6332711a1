// Collection files for every host: the one checked load and the one atomic
// save that the command line, the manager and the Python package share.
//
// Failures throw megcxc::Refused with one line naming the file and the
// problem; messages of records inside a damaged file have been shown through
// AfxMessageBox by then (each text once). The collection or dataset passed in
// is untouched by a failed load.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "face/meg_spctm_cc_data_facezq.h"
#include "platform/refused.h"

namespace megcxc::host {

// The refusal of a load whose archive ended early or could not be read at
// some point: `offset` is the byte position where the failing read began.
class DamagedArchive : public Refused {
 public:
  DamagedArchive(const std::string& message, int64_t offset) : Refused(message), offset(offset) {}
  int64_t offset;
};

// Reports a file read or written: (bytes done, bytes in all), from the
// calling thread, about 200 times per file at most (never per value), the
// last call with done == total once the whole file went through. A callback
// may throw to stop the operation; a load then leaves the collection as it
// was and a save the previous file, without a temporary file.
using ByteProgress = std::function<void(int64_t done, int64_t total)>;

using Collection = CMEGSpctmCCDataFacezq;
using Dataset = CSpctmTrlCCDatazq;

enum class ArchiveKind { collection, trial };

// What the first bytes of a file say.
struct ArchiveHeader {
  ArchiveKind kind = ArchiveKind::collection;
  std::string magic;    // as found (current and older magics are both accepted)
  int32_t version = 0;  // as found
};

// Reads the magic and version at the start of `path`. Refused when the file
// cannot be opened, is a directory, ends inside the header, or starts with
// neither a collection nor a trial archive magic.
ArchiveHeader readArchiveHeader(const std::string& path);

// Loads a collection file into `collection`, replacing its datasets, name and
// current class only when the whole file was read. With `acceptTrial` a
// single trial archive is taken as the only (active) dataset of the
// collection; without it such a file is refused. Refused when the file cannot
// be opened, is foreign, has a version the library does not read, ends early,
// has bytes after its end, or when a part of it was refused; a file that ends
// early or cannot be read at some byte throws DamagedArchive. Returns the
// header found.
ArchiveHeader loadCollectionFile(const std::string& path, Collection& collection, bool acceptTrial = false,
                                 const ByteProgress& progress = {});

// Reads a single trial archive with the same checks into a new dataset.
std::unique_ptr<Dataset> loadTrialFile(const std::string& path, ArchiveHeader* header = nullptr,
                                       const ByteProgress& progress = {});

// Writes the collection (or one dataset as a trial archive) to `path`
// atomically (see platform/atomic_file.h): the previous file survives every
// failure, a symbolic link keeps pointing at the new file. Refused with the
// reason otherwise. With `progress`, the archive is sized first (a pass that
// only counts its bytes) so that the reports have a total.
void saveCollectionFile(const std::string& path, Collection& collection, const ByteProgress& progress = {});
void saveTrialFile(const std::string& path, Dataset& dataset);

// Size of a file in bytes, or -1.
int64_t fileSize(const std::string& path);
// True when `path` names an existing file system entry.
bool pathExists(const std::string& path);

}  // namespace megcxc::host
