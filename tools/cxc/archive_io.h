// Reading and writing the library's archive files from the command line:
// telling a collection file from a single trial archive by its header,
// loading either with a one-line error that names the file and the problem,
// and saving atomically (a temporary file in the target's folder, synced and
// then renamed over the target), so a failed save never loses the old file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "face/meg_spctm_cc_data_facezq.h"
#include "tools/cxc/common.h"

class CArchive;

namespace cxc {

using Collection = CMEGSpctmCCDataFacezq;
using Dataset = CSpctmTrlCCDatazq;

enum class ArchiveKind { collection, trial };

// What the first bytes of a file say.
struct ArchiveHeader {
  ArchiveKind kind = ArchiveKind::collection;
  std::string magic;    // as found (old and new magics both accepted)
  int32_t version = 0;  // as found, known to the library or not
};

// Reads the magic string and version at the start of `path`. Throws Error
// (refused) when the file cannot be opened, ends inside the header, or starts
// with neither a collection nor a trial archive magic.
ArchiveHeader readArchiveHeader(const std::string& path);

// Loads a collection file into `collection` (which is emptied by the
// library). A single trial archive is read as the collection's active
// dataset when `acceptTrial` is set, and refused otherwise. Throws Error
// (refused) naming the file when it cannot be opened, is foreign, holds an
// unknown version, ends early, has bytes after its last dataset, or when the
// library showed a message while reading it (a part was refused). Returns the
// header found.
ArchiveHeader loadCollectionFile(const std::string& path, Collection& collection, MessageConsole& console,
                                 bool acceptTrial);

// Loads a single trial archive into `dataset` with the same checks.
ArchiveHeader loadTrialFile(const std::string& path, Dataset& dataset, MessageConsole& console);

// Writes `path` atomically: `write` fills a storing archive on a temporary
// file beside `path`, which is synced and renamed over `path` only when
// everything succeeded. Throws Error (refused) naming `path` otherwise; the
// temporary file is removed and `path` is untouched then.
void saveAtomically(const std::string& path, const std::function<void(CArchive&)>& write);

// saveAtomically with the collection archive / the trial archive.
void saveCollectionFile(const std::string& path, Collection& collection);
void saveTrialFile(const std::string& path, Dataset& dataset);

// True when `path` names an existing file system entry.
bool pathExists(const std::string& path);
// Size of the file in bytes, or -1.
int64_t fileSize(const std::string& path);

}  // namespace cxc
