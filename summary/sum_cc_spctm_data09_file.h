// CSumCCSpctmData09File: the archive form of a summary record.
//
// Layout (all values little-endian):
//   magic "SUMCCSPCTMDATA" (CString, Unicode form) | int32 version 20130514
//   plane section: i64 timePtCount | i64 freqPtCount | six planes
//     (cellMin, cellMean, cellMax, cellPosMean, cellNegMean, cellRms), each an
//     int32 flag and, when the flag is 1, timePtCount x freqPtCount doubles in
//     row order
//   info section (108 bytes): int32 isComputed | i64 pairCount | minValue |
//     meanValue | maxValue | posMeanValue | negMeanValue | rmsValue |
//     absMaxValue | spareValue2 | absMinValue | spareValue6 | spareValue5 |
//     spareValue4 (doubles; note the two reversed triples)
// Nothing carries a length: the reader finds the end by reading. Version
// 20111222 records are read, consumed and dropped.
#pragma once

#include <cstdint>

#include "summary/sum_cc_spctm_data.h"

class CArchive;

namespace megcxc::sumfile {
inline constexpr const char* kMagic = "SUMCCSPCTMDATA";
inline constexpr int32_t kVersion = 20130514;     // written and read
inline constexpr int32_t kVersionOld = 20111222;  // read and dropped
inline constexpr int kInfoSectionBytes = 108;
}  // namespace megcxc::sumfile

class CSumCCSpctmData09File : public CSumCCSpctmData {
 public:
  // Storing: writes header, plane section and info section, flushes the
  // archive and returns 1. Loading: reads the header; a wrong magic shows "The
  // opened file is not trial data or corrupted!", an unknown version "Wrong
  // SumCCSpctmData09Fileformat!!?", and both return 0 leaving the record
  // untouched; version 20130514 is read into the record (1, or 0 when a
  // section fails), version 20111222 is consumed and leaves the record empty.
  // A stream that ends early throws CArchiveException (endOfFile) from inside
  // a read, naming the field and its byte offset; the record is then
  // consistent: it holds the counts read and only the planes read completely,
  // and nothing leaks.
  int serializeSumCCD(CArchive& ar);

 protected:
  // Plane section in either direction. Storing: always 1; a present array is
  // written (flag 1) only when both counts are at least 1 and the array was
  // allocated with exactly these counts — an array whose counts were rewritten
  // from outside is written as absent rather than read past its end.
  // Loading: empties the record (cleanAll), reads the counts, then each plane.
  // Returns 0 when a plane is flagged while a count is below 1, or when a
  // plane cannot be allocated or is larger than megcxc::kMaxDeclaredBytes
  // ("Has enough memory?"); the planes read before stay. Any other plane is
  // read: a stream that ends inside it throws. A plane is allocated before
  // its values are read when it is small or the stream is known to hold its
  // values; otherwise the values are gathered as they arrive and the plane is
  // allocated once they are all there.
  int b00serialSumChnData_New(CArchive& ar);
  // Info section in either direction; always 1.
  int b01serialInfo_New(CArchive& ar);

 private:
  // Both sections without header; 1 if both returned 1 (the info section is
  // skipped when the plane section failed).
  int serialSumChnl20130514(CArchive& ar);
  // Consumes a version-20111222 record and leaves the record empty. Returns 1;
  // 0 when a block is flagged while R or C is below 1, when a block's scratch
  // row cannot be allocated or R x C doubles exceed
  // megcxc::kMaxDeclaredBytes ("Has enough memory?"), or when the scratch of
  // the value list cannot be allocated or N entries exceed that limit
  // ("memory error?!"). The values are dropped, so they pass through scratch
  // buffers of at most megcxc::kReadAheadBytes; a stream that ends inside the
  // record throws.
  int serialize20111222(CArchive& ar);
};
