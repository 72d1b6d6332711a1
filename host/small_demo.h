// A small synthetic collection for first-time users and screenshots: the
// manager shows real-looking data without any file.
//
// 16 sensors on a 4 x 4 grid, 10 time points x 20 frequency points on a
// linear 2 - 40 Hz axis. Every pair carries a real, an imaginary and a
// power/phase (magnitude) plane of coherency-like values:
//   - all pairs: zero-lag coupling that falls off with the sensors' distance
//     on the grid (field spread) plus a little deterministic noise; 1 on the
//     diagonal;
//   - active dataset only: the four central sensors (5, 6, 9, 10) couple in
//     the 8 - 12 Hz band with a phase lag, rising and falling around time
//     point 5.
// The active dataset is shown at the centre of that burst (time 5, 10 Hz) for
// sensor 5, so the coupled pairs stand out in the list at once.
#pragma once

#include <cstdint>

#include "platform/cdialog.h"
#include "platform/cstring.h"

class CMEGSpctmCCDataFacezq;

namespace megcxc::host::smalldemo {

inline constexpr int64_t kSensors = 16;
inline constexpr int64_t kTimePoints = 10;
inline constexpr int64_t kFreqPoints = 20;
inline constexpr double kFirstHz = 2.0;
inline constexpr double kStepHz = 2.0;
// The coupled sensors of the active dataset and their band (frequency
// indices 3 .. 5 = 8 .. 12 Hz) and peak time.
inline constexpr int64_t kCoupledSensors[4] = {5, 6, 9, 10};
inline constexpr int64_t kBandFirst = 3;
inline constexpr int64_t kBandLast = 5;
inline constexpr int64_t kPeakTime = 5;

// The complex value of pair (a, b) at [t][f] for the active (active true) or
// control dataset: real part in re, imaginary part in im.
void demoValue(bool active, int64_t a, int64_t b, int64_t t, int64_t f, double& re, double& im);

// Replaces the datasets of `collection` by the demo's active and control
// datasets, names the collection and makes the active class current.
// Progress notices of the dataset initialisation go to progressDlg /
// progressText (both may be null). Returns 1; 0 when a dataset cannot be
// built (the library has shown why; the collection is then left empty).
int buildDemoCollection(CMEGSpctmCCDataFacezq& collection, CDialog* progressDlg, CString* progressText);

}  // namespace megcxc::host::smalldemo
