#include "host/names.h"

#include <cctype>

namespace megcxc::host {

namespace {

const char* const kClassKeys[kClassCount] = {"active", "control", "act-ctl"};
const char* const kDataTypeKeys[kDataTypeCount] = {"real", "imag", "power"};
const char* const kDataTypeTitles[kDataTypeCount] = {"Real", "Imaginary", "Power/Phase"};
const char* const kComputationNames[2] = {"CWT", "GBT"};
const char* const kStoreTypeNames[3] = {"Real Time", "Accumulate", "Wave-Cross"};
const char* const kOperationNames[kActCtlOperationCount] = {"A-C", "A+C", "A*C", "A/C"};
const char* const kMagnitudeModes[3] = {"plain", "real-sign", "imag-sign"};
const char* const kAxisKeys[3] = {"time", "freq", "both"};
const char* const kAxisWords[3] = {"time", "frequency", "time and frequency"};

template <int N>
const char* nameOf(const char* const (&table)[N], int code, const char* other = "?") {
  return code >= 0 && code < N ? table[code] : other;
}

template <int N>
int codeOf(const char* const (&table)[N], const std::string& key) {
  for (int k = 0; k < N; ++k) {
    if (key == table[k]) return k;
  }
  return -1;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

const char* classKey(int spctmClass) { return nameOf(kClassKeys, spctmClass); }
int classFromKey(const std::string& key) { return codeOf(kClassKeys, key); }
const char* classDatasetName(int spctmClass) { return nameOf(face::kClassDatasetNames, spctmClass); }

const char* dataTypeKey(int dataType) { return nameOf(kDataTypeKeys, dataType); }
int dataTypeFromKey(const std::string& key) { return codeOf(kDataTypeKeys, key); }
const char* dataTypeTitle(int dataType) { return nameOf(kDataTypeTitles, dataType); }

const char* computationName(int cmptType) { return nameOf(kComputationNames, cmptType, "Cmp?"); }
int computationFromName(const std::string& name) { return codeOf(kComputationNames, name); }
const char* storeTypeName(int storeType) { return nameOf(kStoreTypeNames, storeType, "Store?"); }

const char* actCtlOperationName(int operation) { return nameOf(kOperationNames, operation); }
int actCtlOperationFromName(const std::string& name) {
  for (int k = 0; k < kActCtlOperationCount; ++k) {
    if (equalsIgnoringCase(name, kOperationNames[k])) return k;
  }
  return -1;
}

const char* magnitudeModeKey(int mode) { return nameOf(kMagnitudeModes, mode); }
int magnitudeModeFromKey(const std::string& key) { return codeOf(kMagnitudeModes, key); }

const char* axisKey(int axis) { return nameOf(kAxisKeys, axis); }
const char* axisWords(int axis) { return nameOf(kAxisWords, axis); }
int axisFromKey(const std::string& key) { return codeOf(kAxisKeys, key); }

}  // namespace megcxc::host
