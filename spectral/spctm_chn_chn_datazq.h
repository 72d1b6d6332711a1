// CSpctmChnChnDatazq: the complete channel-pair record. Adds taking another
// record's extents and accumulating another record's planes cell by cell
// (trials are summed pair by pair and divided afterwards).
#pragma once

#include "spectral/spctm_chn_chn_data09_file.h"

class CSpctmChnChnDatazq : public CSpctmChnChnData09File {
 public:
  // Copies source->timePt and source->freqPt into this record; nothing else
  // (no plane, sensor or backup). 0 when source is null. Working planes of
  // other extents than the new ones are released first, so the record never
  // holds planes that disagree with its extents.
  int setParameters(const CSpctmChnChnDatazq* source);
  // Adds every present plane of `source` (data types 0, 1, 2 in order) cell by
  // cell into this record's plane of the same type. A missing plane of this
  // record is created zero-filled with the source's extents when `create`
  // (after "Has enough memory?" on failure: 0), else the call returns 0. 0
  // when the extents differ, when source is null or empty, and (with create)
  // when a missing plane would have to be created while another present plane
  // of this record has other extents: the extents are never changed under an
  // existing plane. Planes added before a failing step stay added; the source,
  // the backup, sensors, selection, tag, range and average are not changed.
  int addSpctmChnlzq(const CSpctmChnChnDatazq* source, bool create);
};
