// CMEGSpctmCCDataFace09File: the archive form of the whole collection, and
// file helpers for hosts and tools.
//
// Layout (little-endian CArchive primitives, strings in MFC's Unicode CString
// form):
//   magic "SPCTM_CXC_FACEZQ" ("SPCTMFACEZQ" also read) | int32 version 20110729
//   | int32 auxInt | int32 currentClass | string collectionName
//   | for the active, control and active-control class in this order: int32
//     presence flag (nonzero: present) and, when present, the class dataset as
//     a complete trial archive (CSpctmTrlCCData09File)
// Nothing carries a length: a reader finds the end of each dataset by reading
// it. actCtlOperation and managerDlg are not stored.
#pragma once

#include <cstdint>
#include <string>

#include "face/meg_spctm_cc_data_face04_prcs.h"

class CArchive;
class CFile;

namespace megcxc::facefile {
inline constexpr const char* kMagic = "SPCTM_CXC_FACEZQ";
inline constexpr const char* kMagicOld = "SPCTMFACEZQ";
inline constexpr int32_t kVersion = 20110729;
}  // namespace megcxc::facefile

class CMEGSpctmCCDataFace09File : public CMEGSpctmCCDataFace04Prcs {
 public:
  // Storing: writes the header and the body, flushes the archive and returns
  // 1 (the datasets' own results are not looked at). Loading: a magic other
  // than "SPCTM_CXC_FACEZQ" / "SPCTMFACEZQ" shows "The opened file is not
  // trial data or corrupted!", another version "Wrong spectral data face
  // format!!?"; both return 0 with the collection untouched. Otherwise the
  // body is read in place (see serializeSpctmFace20110729). A stream that ends
  // early throws CArchiveException from the primitive read (with what was
  // being read added to its text); it is not caught here, and the collection
  // then holds the datasets read so far, each consistent.
  int serializeSpctmFace(CArchive& ar);

  // Reads the collection file at `path` into this collection. The file is
  // read into a fresh collection first; only when that read succeeds are its
  // datasets, auxInt, currentClass and collectionName swapped into this one
  // (the old datasets are then released; actCtlOperation and the dialog
  // stay). So a refused, damaged or missing file never loses the current
  // collection. Returns 1 on success and 0 otherwise:
  //   - a refused magic or version: the archive's own message;
  //   - a dataset that cannot be created: "Cannot read <path>: not enough
  //     memory to create a dataset";
  //   - an exception from the file or the archive (missing file, truncated or
  //     unreadable data, a string too large to allocate): "Cannot read
  //     <path>: <reason>";
  //   - stricter than serializeSpctmFace, which does not look at the datasets'
  //     results: a dataset whose own read returned 0, or bytes left after the
  //     last dataset, mean the reader lost its place in a damaged file, so
  //     the result is 0 after "Cannot read <path>: <reason>" as well; so does
  //     any message from a record inside (a refused channel pair or summary),
  //     even when its dataset read on to the end.
  // While it reads, each message text is shown once: the readers go on after
  // a refused channel pair, and in a damaged file the pairs after it tend to
  // be refused with the same text. The closing message then ends with
  // " (<n> repeated message(s) not shown)".
  int loadFromFile(const std::string& path);
  // Writes this collection to `path` without ever losing the previous file:
  // the archive goes to a new temporary file in the same folder (created
  // exclusively, with the target's permissions when it exists), is flushed
  // and synced to disk, and then renamed over the target (over the file a
  // symbolic link points at, so the link stays). Returns 1; on any
  // failure (folder not writable, write or sync error, rename refused) the
  // temporary file is removed, the target stays as it was, "Cannot write
  // <path>: <reason>" is shown and the result is 0.
  int saveToFile(const std::string& path);

 private:
  // Body without header. Storing: auxInt, currentClass, collectionName and
  // the three slots; 1. Loading: deletes the three datasets first, reads the
  // three fields, then each slot: a nonzero flag creates an empty dataset,
  // puts it into the slot and lets it read itself (its result is not looked
  // at). Returns 1; 0 at once when a dataset cannot be created (the slots
  // read before keep their datasets, the later ones stay empty).
  int serializeSpctmFace20110729(CArchive& ar);
};

namespace megcxc::face {

// What readCollectionFile found.
struct CollectionReadResult {
  bool ok = false;
  // The magic or version was refused; the archive has shown its own message.
  bool headerRefused = false;
  // Why the file was not taken, in plain words (empty when ok or when the
  // header was refused).
  std::string reason;
  // The byte position where a read ran past the end or failed in the
  // archive, when that was the reason; -1 otherwise.
  int64_t damageOffset = -1;
};

// The checked read of loadFromFile without its closing message: reads the
// collection file at `path` into a fresh collection and swaps the result into
// `collection` only on success (see loadFromFile for what counts as a
// failure). Messages of the records inside are shown while reading, each text
// once.
CollectionReadResult readCollectionFile(const std::string& path, CMEGSpctmCCDataFace09File& collection);
// The same from a file the caller has opened for reading at its start (a
// host's CFile that watches the bytes go by); `path` names it in the reasons.
CollectionReadResult readCollectionFile(CFile& file, const std::string& path, CMEGSpctmCCDataFace09File& collection);

}  // namespace megcxc::face
