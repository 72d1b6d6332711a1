// The names of the collection's codes, in one place for every front end:
// the keys users type (command line, Python), the labels the manager shows,
// and the parsers from keys back to codes.
//
// Codes: class 0 active, 1 control, 2 active-control; data type (plane) 0
// real, 1 imaginary, 2 power/phase; computation type 0 CWT, 1 GBT; store type
// 0 real time, 1 accumulate, 2 wave-cross; active-control operation 0 A-C,
// 1 A+C, 2 A*C, 3 A/C; magnitude polarity 0 plain, 1 sign of the real part,
// 2 sign of the imaginary part; collapse axis 0 time, 1 frequency, 2 both.
#pragma once

#include <string>

#include "face/meg_spctm_cc_data_face.h"

namespace megcxc::host {

using face::kClassCount;
inline constexpr int kDataTypeCount = 3;
inline constexpr int kActCtlOperationCount = 4;

// "active" | "control" | "act-ctl"; "?" outside 0 .. 2.
const char* classKey(int spctmClass);
// The class of a key, or -1.
int classFromKey(const std::string& key);
// The name the collection gives a dataset it creates for the class ("Active
// CxC", "Control CxC", "Act-Ctl CxC"); "?" outside 0 .. 2.
const char* classDatasetName(int spctmClass);

// "real" | "imag" | "power"; "?" outside 0 .. 2.
const char* dataTypeKey(int dataType);
int dataTypeFromKey(const std::string& key);
// "Real" | "Imaginary" | "Power/Phase"; "?" outside 0 .. 2.
const char* dataTypeTitle(int dataType);

// "CWT" | "GBT", "Cmp?" for any other code.
const char* computationName(int cmptType);
// The computation type of "CWT" / "GBT", or -1.
int computationFromName(const std::string& name);
// "Real Time" | "Accumulate" | "Wave-Cross", "Store?" for any other code.
const char* storeTypeName(int storeType);

// "A-C" | "A+C" | "A*C" | "A/C"; "?" for other codes.
const char* actCtlOperationName(int operation);
// The operation of a name (any letter case), or -1.
int actCtlOperationFromName(const std::string& name);

// "plain" | "real-sign" | "imag-sign"; "?" for other modes.
const char* magnitudeModeKey(int mode);
int magnitudeModeFromKey(const std::string& key);

// "time" | "freq" | "both" (keys) and "time" | "frequency" | "time and
// frequency" (words); "?" for other axes.
const char* axisKey(int axis);
const char* axisWords(int axis);
int axisFromKey(const std::string& key);

}  // namespace megcxc::host
