// Trial dataset archives built by hand, independently of the writers: the
// basic section from a list of field values, empty summaries, and the whole
// archive of a freshly constructed dataset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace megcxc::test {

// The basic section in stream order: i int32, l i64, d double, b bool, s
// string (trialName, then cxcType), P the frequency-profile vector record.
inline constexpr char kBasic[] = "iiiillllllllddddiddddliiillllliiiliisbisiidiP";
inline constexpr int kAuxValue1 = 12, kCxcType = 39;  // where the older forms leave fields out

// The values of a freshly constructed dataset, in the order of kBasic.
inline const std::vector<double> kFresh = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0,
                                           0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};

enum class Form { newest, noAuxValues, old };

// The basic section with the values `v` (in the order of kBasic) in one of
// the three layouts: newest, without auxValue1 / auxValue2, or also without
// the tail from cxcType on.
inline void basic(Bytes& b, const std::vector<double>& v, Form form, const std::u16string& name = u"CxC Data",
                  const std::u16string& cxc = u"None", const std::vector<double>& profile = {}) {
  for (int i = 0; kBasic[i]; ++i) {
    if (form != Form::newest && (i == kAuxValue1 || i == kAuxValue1 + 1)) continue;
    if (form == Form::old && i == kCxcType) return;
    if (kBasic[i] == 'i') b.i32(static_cast<int32_t>(v[i]));
    if (kBasic[i] == 'l') b.i64(static_cast<int64_t>(v[i]));
    if (kBasic[i] == 'd') b.f64(v[i]);
    if (kBasic[i] == 'b') b.u8(static_cast<uint8_t>(v[i]));
    if (kBasic[i] == 's') b.str(i == kCxcType ? cxc : name);
    if (kBasic[i] == 'P') b.str("MMATRIX1D").i32(20250301).i64(0).i64(static_cast<int64_t>(profile.size()));
  }
  for (double x : profile) b.f64(x);
}

// The three plane flags and three empty summary archives of 184 bytes: magic,
// version, then zeros for two extents, six array flags, a flag, a count and
// twelve figures.
inline void emptySummaries(Bytes& b, int32_t flags = 0) {
  b.i32(flags).i32(flags).i32(flags);
  for (int s = 0; s < 3; ++s) b.str("SUMCCSPCTMDATA").i32(20130514).append(std::vector<uint8_t>(16 + 24 + 12 + 96, 0));
}

// The newest archive up to its pair section, with the basic values `v`.
inline Bytes trialHead(const std::vector<double>& v = kFresh, const std::u16string& name = u"CxC Data") {
  Bytes b;
  b.str("SPCTM_CXC_TRIALZQ").i32(20130524);
  basic(b, v, Form::newest, name);
  emptySummaries(b);
  return b;
}

// The archive of a freshly constructed dataset named `name`: no pair matrix.
inline Bytes& freshTrial(Bytes& b, const std::u16string& name = u"CxC Data") {
  return b.append(trialHead(kFresh, name).i64(0).i64(0).i64(0).i64(0).i32(0).bytes());
}

}  // namespace megcxc::test
