// The demo collection: synthetic but physically plausible MEG cross-spectra.
//
// Sensors sit on a helmet-shaped half sphere. Each sensor has a 1/f power
// spectrum with a modest alpha bump, and the complex cross-spectrum of two
// sensors is sqrt(P_a P_b) times their coherency: a zero-lag background that
// decays with sensor distance (field spread), plus complex estimation noise.
// In the active condition a group of sensors over both hemispheres couples in
// a band around 10 Hz during the middle of the time axis, with a phase lag
// between the hemispheres; the control condition is background only. Every
// value comes from a fixed seed, so the demo is the same on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <functional>

class CSpctmTrlCCDatazq;
class CMEGSpctmCCDataFacezq;
class CDialog;
class CString;

namespace megcxc::host {

// Called after each sensor row is filled: (rows done, rows in all).
using RowProgress = std::function<void(int64_t done, int64_t total)>;

struct DemoOptions {
  int64_t sensors = 64;
  int64_t timePt = 20;
  int64_t freqPt = 40;
  double firstHz = 2.0;
  double lastHz = 40.0;
  // Samples between time points (0.1 s at 250 Hz).
  int64_t timeStep = 25;
  // Sampling rate of the synthetic recording; the datasets record it, so
  // their time axis reads in seconds.
  double sfreq = 250.0;
  uint64_t seed = 20130524;
};

// Where the demo puts its effect.
struct DemoTruth {
  std::vector<int64_t> group;  // coupled sensors, ascending
  double bandCentreHz = 0.0;
  double bandSigmaHz = 0.0;
  int64_t timeBegin = 0;  // first time point of the coupling window
  int64_t timeEnd = 0;    // last time point of the coupling window
};

// An explanation of what is wrong with the options, or "" when they are
// usable.
std::string checkDemoOptions(const DemoOptions& options);

// The coupled group, band and time window for these options.
DemoTruth demoTruth(const DemoOptions& options);

// Frequency of point k of the demo's linear axis.
double demoFrequencyHz(const DemoOptions& options, int64_t k);

// Sets the dataset's axes (linear frequency axis, time step, time range),
// computation type (CWT) and descriptive fields for the demo grid.
void setDemoAxes(CSpctmTrlCCDatazq& dataset, const DemoOptions& options);

// Fills every pair of `dataset`, already initialised to sensors x sensors
// pairs, through the host entry addSpctmData2ChannelCWTri; pair (b, a) is the
// complex conjugate of pair (a, b). `active` adds the coupled group. Returns
// false when a pair refuses its data (out of memory; the library has shown
// its message). `progress` may be empty.
bool fillDemoDataset(CSpctmTrlCCDatazq& dataset, const DemoOptions& options, bool active,
                     const RowProgress& progress = {});

// Megabytes the demo pipeline holds at its peak: the active and control
// datasets with three working planes and the raw real and imaginary planes
// each, and the active-control dataset.
double demoMemoryMB(const DemoOptions& options);

// Builds the demo's active and control datasets into `collection` (replacing
// those slots): initialised, given the demo axes and filled. Progress of the
// initialisation goes to progressDlg / progressText, the filling to `rows`
// (with the class being filled). Returns "" on success, else why not (the
// library has shown its message); the collection may then hold part of the
// demo.
using ClassRowProgress = std::function<void(int spctmClass, int64_t done, int64_t total)>;
std::string buildDemoDatasets(CMEGSpctmCCDataFacezq& collection, const DemoOptions& options, CDialog* progressDlg,
                              CString* progressText, const ClassRowProgress& rows = {});

}  // namespace megcxc::host
