// CSpctmTrlCCData09File: the archive form of a trial dataset.
//
// Layout (little-endian CArchive primitives, strings in MFC's Unicode CString
// form), version 20130524 as written:
//   header: magic "SPCTM_CXC_TRIALZQ" | int32 version
//   basic section: int32 auxInt1, cmptType, storeType, auxInt2 | i64 timePt,
//     freqPt, timeDataLength, timeDataBegin, timeDataEnd, timePtOffset,
//     auxLong1, timeStep | double auxValue1, auxValue2, freqFirstHz,
//     freqLastHz | int32 freqAxisLog | double freqStepHz, freqRatio,
//     auxFactor1, auxFactor2 | i64 auxLong2 | int32 auxInt3, resultType,
//     auxInt4 | i64 selTimeBegin, selTimeEnd, selFreqBegin, selFreqEnd,
//     auxLong3 | int32 auxInt5, auxInt6, auxInt7 | i64 auxLong4 | int32
//     auxInt8, auxInt9 | string trialName | 1 byte iconFlag | int32 listItemId
//     | string cxcType | int32 auxInt10, auxInt11 | double delay | int32
//     auxInt12 | freqProfile as a vector record
//   summary section: int32 hasRealPlane, hasImagPlane, hasPowerPhasePlane |
//     three summary archives (real, imaginary, power/phase)
//   pair section: i64 rowSnsCount, colSnsCount, curActSns, curCxcSns | int32
//     matrix flag | when the flag is set, per row an int32 row flag followed,
//     for a present row, by colSnsCount channel-pair archives (column 0 first)
// Older layouts (read only):
//   20130514: as above without auxValue1 / auxValue2;
//   20130513: string cxcType, int32 auxInt10, auxInt11, then the old basic
//     section (up to listItemId, without auxValue1 / auxValue2), the summary
//     section and the old square pair section (i64 rowSnsCount, curActSns,
//     curCxcSns, matrix flag, rows of rowSnsCount pairs);
//   20090726: as 20130513 without the three leading fields.
// A field an older layout lacks keeps the value the dataset held.
// "SPCTMTRIALZQ" is read as a synonym of the magic.
//
// Every operation serves both directions (the archive's mode decides). Storing
// always writes the newest layout, also through the operations named after an
// older version, so no stream of an older layout is ever produced. Flags read
// as nonzero count as set. A stream that ends early throws CArchiveException
// (endOfFile) from the primitive read, naming the field being read, the
// record it belongs to (a pair or summary inside adds its own) and the byte
// offset (megcxc::ReadContext); it is not caught here.
//
// Consistency of a dataset after any read, also one cut short by an exception
// or refused: pairMatrix is null, or a table of exactly rowSnsCount slots, each
// null or an array of exactly colSnsCount fully constructed pairs (the old
// square form keeps colSnsCount 0 after a refused row array, so the counts then
// describe fewer pairs than the rows hold, never more). Every operation of the
// dataset skips null row slots. Rows (or pairs) gathered before their table
// (or array) exists are dropped when the read ends early.
#pragma once

#include <cstdint>

#include "trial/spctm_trl_cc_data08_show.h"

class CArchive;

namespace megcxc::trlfile {
inline constexpr const char* kMagic = "SPCTM_CXC_TRIALZQ";
inline constexpr const char* kMagicOld = "SPCTMTRIALZQ";
inline constexpr int32_t kVersion = 20130524;  // written
inline constexpr int32_t kVersion20130514 = 20130514;
inline constexpr int32_t kVersion20130513 = 20130513;
inline constexpr int32_t kVersion20090726 = 20090726;

// Sizing of the pair matrix while reading. A row table larger than
// megcxc::kMaxDeclaredBytes is refused ("Is memory enough?!" and 0, like a
// failed table), and so is a row of pairs larger than that (0 without a
// message, like a failed row), before anything of it is read. Any other
// table or row is read record by record; a stream that ends inside raises
// the archive exception. The table is allocated ahead of its rows when it is
// small or the stream is known to hold kRowFlagBytes per row; a row array
// when it is small or the stream is known to hold kMinPairArchiveBytes per
// pair. Otherwise the rows (or pairs) are gathered as they arrive and the
// table (or array) is allocated once they are all read, so a short hostile
// stream, even one of unknown length, never makes the reader hold much more
// than it has read.
inline constexpr uint64_t kRowFlagBytes = 4;
// The smallest channel-pair archive its reader accepts: the magic in the
// untagged single-byte string form (1 + 11 bytes), the version (4), and the
// version-20090726 body with every plane absent: three doubles, four i64 and
// three int32 flags (68), then two i64 and three int32 flags (28). A refused
// pair takes less (its magic, or magic and version), which is why this only
// sizes the allocation and never refuses a row.
inline constexpr uint64_t kMinPairArchiveBytes = 12 + 4 + 68 + 28;
}  // namespace megcxc::trlfile

class CSpctmTrlCCData09File : public CSpctmTrlCCData08Show {
 public:
  // Storing: writes the header and the three sections of the newest version,
  // flushes the archive and returns 1. Loading: a magic other than
  // "SPCTM_CXC_TRIALZQ" or "SPCTMTRIALZQ" shows "The opened file is not
  // SPCTM_CXC_TRIALZQ data or corrupted!", a version other than 20090726,
  // 20130513, 20130514 and 20130524 shows "Wrong trial spectral file format!!?";
  // both return 0 with the dataset untouched. Otherwise the version's reader
  // runs: 1 when every section was read, 0 when one failed (the parts read
  // before stay, the rest keeps what it held).
  int serializeTrlSpctmZq(CArchive& ar);
  // The three sections of version 20130524 (no header), stopping at the first
  // that returns 0; 1 when all returned 1. Either direction.
  int serializeTrlSpctm20130524(CArchive& ar);
  // Loading: the three sections of version 20130514 (auxValue1 / auxValue2
  // untouched), stopping at the first failure; 1 when all succeeded.
  // Storing: as serializeTrlSpctm20130524.
  int serializeTrlSpctm20130514(CArchive& ar);

 protected:
  // Loading: releases the summaries and the matrix, reads cxcType, auxInt10
  // and auxInt11, then the old basic section, the summary section and the old
  // pair section, stopping at the first failure; 1 when all succeeded.
  // Storing: as serializeTrlSpctm20130524.
  int serializeTrlSpctm20130513(CArchive& ar);
  // Loading: as serializeTrlSpctm20130513 without the three leading fields.
  // Storing: as serializeTrlSpctm20130524.
  int serializeTrlSpctm20090726(CArchive& ar);

 private:
  // Basic section of version 20130524, either direction; always 1. Values are
  // taken unchecked.
  int _00serializeTralSpctmBasic(CArchive& ar);
  // Loading: the basic section without auxValue1 / auxValue2; always 1.
  // Storing: the newest form.
  int _00Zold1_serializeTralSpctmBasic(CArchive& ar);
  // Loading: the old basic section, up to listItemId and without auxValue1 /
  // auxValue2; always 1. Storing: the newest form.
  int _00Zold_serializeTralSpctmBasic(CArchive& ar);
  // Summary section: the three plane flags and the three summary archives in
  // data-type order, stopping at the first that returns 0; 1 when all three
  // returned 1.
  int _01serializeSumCCSpctmData(CArchive& ar);
  // Pair section. Storing writes the matrix flag 0 when there is no matrix or
  // a count is below 1 (the reader would not read rows then either), else the
  // rows as they are; always 1. Loading releases the matrix, reads the counts
  // and current sensors unchanged, and then the rows; 0 when the row table
  // cannot be held ("Is memory enough?!") or a row array cannot be held (no
  // message; rows read so far stay, later slots stay empty); the channel-pair
  // archives' own results are not looked at. See the sizing above.
  int _02serializeTrlSpctmCCData(CArchive& ar);
  // Old square pair section. Loading as _02serializeTrlSpctmCCData with one
  // count, rows of rowSnsCount pairs and colSnsCount set to rowSnsCount on
  // success (it stays 0 after a refused table or row). Storing: the newest
  // form.
  int _02Zold_serializeTrlSpctmCCData(CArchive& ar);
};
