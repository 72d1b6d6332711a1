// CSpctmChnChnData09File: the channel-pair archive.
//
// Layout (little-endian CArchive primitives):
//   magic "SPCTMCHNLZQ" (Unicode CString form), int32 version,
//   working section: double rangeMax, rangeMin, spctmAverage; i64 chnA, chnB,
//     timePt (T), freqPt (F); plane blocks of plane[0], plane[1], plane[2],
//   backup section: i64 rawTimePt (RT), rawFreqPt (RF); plane blocks of
//     rawPlane[0..2],
//   version 20130517 only: 1 byte isSelected, int32 userTag.
// A plane block is an int32 presence flag (0: absent, nothing follows); when
// present, one int32 row flag per row (T or RT rows), followed for a present
// row (flag 1) by its F or RF doubles; a flag 0 marks an absent row. A present
// plane of complete rows takes 4 + T * (4 + 8 * F) bytes.
//
// The writer always writes the newest version; the reader takes 20130517 and
// 20090726. A stream that ends early raises CArchiveException (endOfFile),
// which is not caught here: it reaches the caller naming the field being read,
// the pair and the byte offset (megcxc::ReadContext).
#pragma once

#include <cstdint>

#include "platform/carchive.h"
#include "spectral/spctm_chn_chn_data06_show.h"

namespace megcxc {
inline constexpr const char* kSpctmChnlMagic = "SPCTMCHNLZQ";
// The version written.
inline constexpr int32_t kSpctmChnlVersion = 20130517;
// The first layout: no isSelected, no userTag. Read only.
inline constexpr int32_t kSpctmChnlVersion20090726 = 20090726;
}  // namespace megcxc

class CSpctmChnChnData09File : public CSpctmChnChnData06Show {
 public:
  // Storing: writes the magic, the newest version and the record, flushes the
  // archive and returns 1. Loading: 0 after "This is error in opening channel
  // spectral data!" when the magic differs (case-sensitive) and after "This is
  // error in opening channel spectral data!!!?" for an unknown version, with
  // the record untouched; otherwise the result of the version's reader.
  int serializeSpctmCzq(CArchive& ar);

 protected:
  // The working section. Loading releases the working planes first, reads the
  // scalars straight into the record, then the three plane blocks with
  // timePt x freqPt cells. 0 when a plane cannot be held: "Has enough memory?"
  // for the real plane, "Not enough memory!" for the others.
  //
  // Consistency rule of the readers: a plane is built aside and attached to
  // the record only once all its rows have been read, so the record never
  // holds a partly read plane, and its extents are those read just before
  // its planes. A present plane is refused (message, result 0) before its
  // rows are read only when its extents are implausible: below 1, or a plane
  // larger than megcxc::kMaxDeclaredBytes. Any other plane is read row by row,
  // and a stream that ends inside it raises the archive exception, whatever
  // the stream's length says beforehand. Its memory is allocated before the
  // rows are read when it is small or the stream is known to hold every row
  // of it; otherwise the rows are gathered as they arrive and the plane is
  // allocated once its block is complete, so a hostile extent on a stream of
  // unknown length (a pipe) never makes the reader hold much more than it has
  // read. A failed allocation is refused with the message.
  // A block stores only its present rows, so a plane with absent rows is
  // accepted only when its cells take at most 8 times the bytes of its block
  // (every plane of complete rows passes); a plane beyond that is refused
  // after its block has been read. This bounds what a short stream can make
  // the reader hold, and depends on the block alone, never on what follows.
  // An exception in the middle of a plane releases that plane; the planes read
  // before it stay, each matching the extents.
  int _01serializeSpctmData(CArchive& ar);
  // The backup section: releases the raw planes (the raw extents are then
  // overwritten by those read), reads rawTimePt, rawFreqPt and three plane
  // blocks of rawTimePt x rawFreqPt cells. 0 after "Not enough memory!" when a
  // plane cannot be held; same consistency rule as the working section.
  int _02serializeSpctm2BkFile(CArchive& ar);

 private:
  // Working section, backup section, isSelected (1 byte) and userTag (int32).
  int serializeSpctmC20130517(CArchive& ar);
  // Working section and backup section; isSelected and userTag keep their
  // values when loading.
  int serializeSpctmC20090726(CArchive& ar);
};
