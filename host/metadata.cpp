#include "host/metadata.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "host/describe.h"
#include "host/names.h"
#include "platform/atomic_file.h"
#include "platform/refused.h"

namespace megcxc::host {

namespace {

// Companions larger than this are not metadata of a collection.
constexpr int64_t kMaxCompanionBytes = int64_t{64} << 20;
constexpr const char* kFormat = "megcxc metadata";
constexpr int kVersion = 1;

// ---- a small JSON reader for the companion file

struct Json {
  enum Kind { null, boolean, number, string, array, object } kind = null;
  bool flag = false;
  double value = 0.0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json* member(const std::string& key) const {
    if (kind != object) return nullptr;
    const auto it = members.find(key);
    return it == members.end() ? nullptr : &it->second;
  }
  std::string stringOr(const std::string& key, const std::string& fallback = "") const {
    const Json* m = member(key);
    return m && m->kind == string ? m->text : fallback;
  }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& s) : s_(s) {}

  // The document, or throws std::runtime_error with the byte offset.
  Json document() {
    Json v = value(0);
    space();
    if (at_ != s_.size()) fail("text after the end");
    return v;
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    throw std::runtime_error(std::string(what) + " at byte " + std::to_string(at_));
  }
  void space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) ++at_;
  }
  bool take(char c) {
    space();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool word(const char* w) {
    const std::size_t n = std::strlen(w);
    if (s_.compare(at_, n, w) != 0) return false;
    at_ += n;
    return true;
  }

  Json value(int depth) {
    if (depth > 32) fail("nesting too deep");
    space();
    if (at_ >= s_.size()) fail("unexpected end");
    Json v;
    const char c = s_[at_];
    if (c == '{') {
      ++at_;
      v.kind = Json::object;
      if (take('}')) return v;
      do {
        space();
        if (at_ >= s_.size() || s_[at_] != '"') fail("expected a key");
        std::string key = str();
        if (!take(':')) fail("expected ':'");
        v.members[key] = value(depth + 1);
      } while (take(','));
      if (!take('}')) fail("expected '}'");
    } else if (c == '[') {
      ++at_;
      v.kind = Json::array;
      if (take(']')) return v;
      do {
        v.items.push_back(value(depth + 1));
      } while (take(','));
      if (!take(']')) fail("expected ']'");
    } else if (c == '"') {
      v.kind = Json::string;
      v.text = str();
    } else if (word("true")) {
      v.kind = Json::boolean;
      v.flag = true;
    } else if (word("false")) {
      v.kind = Json::boolean;
    } else if (word("null")) {
      v.kind = Json::null;
    } else {
      const char* start = s_.c_str() + at_;
      char* end = nullptr;
      v.kind = Json::number;
      v.value = std::strtod(start, &end);
      if (end == start) fail("unexpected character");
      at_ += static_cast<std::size_t>(end - start);
    }
    return v;
  }

  // A string at the cursor (which is at its opening quote), as UTF-8.
  std::string str() {
    ++at_;
    std::string out;
    while (true) {
      if (at_ >= s_.size()) fail("unterminated string");
      const char c = s_[at_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= s_.size()) fail("unterminated string");
      const char e = s_[at_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (at_ + 4 > s_.size()) fail("bad escape");
          const unsigned code = static_cast<unsigned>(std::stoul(s_.substr(at_, 4), nullptr, 16));
          at_ += 4;
          // Characters of the basic plane as UTF-8 (names are plain text).
          if (code < 0x80) {
            out += static_cast<char>(code);
          } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
          } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
          }
          break;
        }
        default: out += e; break;
      }
    }
  }

  const std::string& s_;
  std::size_t at_ = 0;
};

std::vector<ChannelInfo> channelsOf(const Json* list) {
  std::vector<ChannelInfo> out;
  if (!list || list->kind != Json::array) return out;
  for (const Json& item : list->items) {
    ChannelInfo c;
    if (item.kind == Json::string) {
      c.name = item.text;
    } else {
      c.name = item.stringOr("name");
      c.type = item.stringOr("type");
      c.unit = item.stringOr("unit");
    }
    out.push_back(std::move(c));
  }
  return out;
}

std::string channelsJson(const std::vector<ChannelInfo>& channels) {
  std::string j = "[";
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const ChannelInfo& c = channels[i];
    j += i ? ",\n        " : "\n        ";
    j += "{\"name\": " + jsonString(c.name);
    if (!c.type.empty()) j += ", \"type\": " + jsonString(c.type);
    if (!c.unit.empty()) j += ", \"unit\": " + jsonString(c.unit);
    j += "}";
  }
  return j + (channels.empty() ? "]" : "\n      ]");
}

// Writes `text` to `path` through a temporary file beside it; "" or the reason.
std::string writeTextAtomically(const std::string& path, const std::string& text) {
  return writeFileAtomically(path, [&text](const std::string& temp) -> std::string {
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return std::strerror(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int err = errno;
    const bool closed = std::fclose(f) == 0;
    return written && closed ? std::string() : std::string(std::strerror(err ? err : errno));
  });
}

}  // namespace

// ---- time axis

double samplingRate(const Dataset& d) { return d.auxFactor1 > 1.0 && std::isfinite(d.auxFactor1) ? d.auxFactor1 : 0.0; }

double samplePosition(const Dataset& d, int64_t k) {
  return static_cast<double>(d.timeDataBegin + d.timePtOffset) + static_cast<double>(k) * static_cast<double>(d.timeStep);
}

double timeSeconds(const Dataset& d, int64_t k) {
  const double sfreq = samplingRate(d);
  if (sfreq <= 0.0) return std::nan("");
  return d.auxValue1 + static_cast<double>(k) * static_cast<double>(d.timeStep) / sfreq;
}

void setSamplingRate(Dataset& d, double sfreq, double firstTimeSeconds) {
  d.auxFactor1 = sfreq;
  d.auxValue1 = firstTimeSeconds;
}

void clearSamplingRate(Dataset& d) {
  d.auxFactor1 = 1.0;
  d.auxValue1 = samplePosition(d, 0);
}

// ---- frequency axis

double reportFrequencyLabel(const Dataset& d, int64_t k) {
  const double kd = static_cast<double>(k);
  return d.freqAxisLog != 0 ? d.freqFirstHz + std::pow(d.freqRatio, kd) : d.freqFirstHz + kd * d.freqStepHz;
}

bool reportLabelsDifferFromFrequencies(Dataset& d) {
  for (int64_t k = 0; k < d.freqPt; ++k) {
    const double label = reportFrequencyLabel(d, k);
    const double hz = d.getSpctmFreq4FreqIndex(k);
    if (std::fabs(label - hz) > 1e-6 * std::max(1.0, std::fabs(hz))) return true;
  }
  return false;
}

// ---- channels and units

bool Metadata::empty() const {
  for (const DatasetMetadata& d : byClass) {
    if (!d.empty()) return false;
  }
  return true;
}

std::string metadataPath(const std::string& collectionPath) { return collectionPath + ".meta.json"; }

Metadata readMetadata(const std::string& collectionPath, const Collection* collection,
                      std::vector<std::string>* warnings) {
  Metadata meta;
  const std::string path = metadataPath(collectionPath);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return meta;
  const auto warn = [&](const std::string& text) {
    if (warnings) warnings->push_back(path + ": " + text);
  };
  if (!S_ISREG(st.st_mode) || st.st_size > kMaxCompanionBytes) {
    warn("not a metadata file; ignored");
    return meta;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) refuse(path + ": cannot open: " + std::strerror(errno));
  std::ostringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  Json doc;
  try {
    doc = JsonParser(text).document();
  } catch (const std::exception& e) {
    warn(std::string("cannot be parsed (") + e.what() + "); ignored");
    return meta;
  }
  if (doc.stringOr("format") != kFormat) {
    warn("not a megcxc metadata file; ignored");
    return meta;
  }
  const Json* datasets = doc.member("datasets");
  for (int k = 0; k < kClassCount; ++k) {
    const Json* d = datasets ? datasets->member(classKey(k)) : nullptr;
    if (!d) continue;
    DatasetMetadata& m = meta.byClass[k];
    m.valueUnit = d->stringOr("value_unit");
    m.rows = channelsOf(d->member("rows"));
    m.cols = channelsOf(d->member("cols"));
    const Dataset* ds = collection ? collection->trialByClass[k] : nullptr;
    if (collection && !ds && !m.empty()) {
      warn(std::string("names of the ") + classKey(k) + " dataset, which the collection lacks; ignored");
      m = DatasetMetadata();
      continue;
    }
    if (ds && !m.rows.empty() && static_cast<int64_t>(m.rows.size()) != ds->rowSnsCount) {
      warn(std::to_string(m.rows.size()) + " row names for the " + std::to_string(ds->rowSnsCount) + " rows of the " +
           classKey(k) + " dataset; ignored");
      m.rows.clear();
    }
    if (ds && !m.cols.empty() && static_cast<int64_t>(m.cols.size()) != ds->colSnsCount) {
      warn(std::to_string(m.cols.size()) + " column names for the " + std::to_string(ds->colSnsCount) +
           " columns of the " + classKey(k) + " dataset; ignored");
      m.cols.clear();
    }
  }
  return meta;
}

void writeMetadata(const std::string& collectionPath, const Metadata& meta) {
  const std::string path = metadataPath(collectionPath);
  if (meta.empty()) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      refuse(path + ": cannot remove the stale metadata: " + std::strerror(errno));
    }
    return;
  }
  std::string j = "{\n  \"format\": " + jsonString(kFormat) + ",\n  \"version\": " + std::to_string(kVersion) +
                  ",\n  \"datasets\": {";
  bool first = true;
  for (int k = 0; k < kClassCount; ++k) {
    const DatasetMetadata& m = meta.byClass[k];
    if (m.empty()) continue;
    j += first ? "\n    " : ",\n    ";
    first = false;
    j += jsonString(classKey(k)) + ": {\n      \"value_unit\": " + jsonString(m.valueUnit) +
         ",\n      \"rows\": " + channelsJson(m.rows) + ",\n      \"cols\": " + channelsJson(m.cols) + "\n    }";
  }
  j += "\n  }\n}\n";
  const std::string failure = writeTextAtomically(path, j);
  if (!failure.empty()) refuse(path + ": cannot write: " + failure);
}

void completeMetadata(const Collection& c, Metadata& meta) {
  for (int k = 0; k < kClassCount; ++k) {
    const Dataset* d = c.trialByClass[k];
    DatasetMetadata& m = meta.byClass[k];
    if (!d || !m.rows.empty() || !m.cols.empty()) continue;
    for (int from = 0; from < kClassCount; ++from) {
      const Dataset* other = c.trialByClass[from];
      const DatasetMetadata& o = meta.byClass[from];
      if (from == k || !other || (o.rows.empty() && o.cols.empty())) continue;
      if (other->rowSnsCount != d->rowSnsCount || other->colSnsCount != d->colSnsCount) continue;
      m.rows = o.rows;
      m.cols = o.cols;
      if (m.valueUnit.empty()) m.valueUnit = o.valueUnit;
      break;
    }
  }
}

ArchiveHeader loadCollectionWithMetadata(const std::string& path, Collection& collection, Metadata& metadata,
                                         bool acceptTrial, std::vector<std::string>* warnings,
                                         const ByteProgress& progress) {
  const ArchiveHeader header = loadCollectionFile(path, collection, acceptTrial, progress);
  metadata = header.kind == ArchiveKind::collection ? readMetadata(path, &collection, warnings) : Metadata();
  return header;
}

void saveCollectionWithMetadata(const std::string& path, Collection& collection, Metadata& metadata,
                                const ByteProgress& progress) {
  completeMetadata(collection, metadata);
  for (int k = 0; k < kClassCount; ++k) {
    if (!collection.trialByClass[k]) metadata.byClass[k] = DatasetMetadata();
  }
  saveCollectionFile(path, collection, progress);
  writeMetadata(path, metadata);
}

std::string sensorLabel(const Metadata& meta, int spctmClass, int64_t index, bool column) {
  if (spctmClass >= 0 && spctmClass < kClassCount && index >= 0) {
    const std::vector<ChannelInfo>& names = column ? meta.byClass[spctmClass].cols : meta.byClass[spctmClass].rows;
    if (index < static_cast<int64_t>(names.size()) && !names[static_cast<std::size_t>(index)].name.empty()) {
      return names[static_cast<std::size_t>(index)].name;
    }
  }
  return std::to_string(index);
}

std::vector<std::string> readNameList(const std::string& path) {
  std::ifstream in(path);
  if (!in) refuse(path + ": cannot open: " + std::strerror(errno));
  std::vector<std::string> names;
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

std::string engineering(double v) {
  if (!std::isfinite(v)) return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
  if (v == 0.0) return "0";
  int exponent = static_cast<int>(std::floor(std::log10(std::fabs(v))));
  exponent = exponent >= 0 ? exponent / 3 * 3 : -((-exponent + 2) / 3 * 3);
  double mantissa = v / std::pow(10.0, exponent);
  // Rounding to three digits can reach 1000: move to the next exponent.
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.3g", mantissa);
  if (std::fabs(std::strtod(buf, nullptr)) >= 1000.0) {
    exponent += 3;
    mantissa /= 1000.0;
    std::snprintf(buf, sizeof buf, "%.3g", mantissa);
  }
  if (exponent == 0) return buf;
  char out[64];
  std::snprintf(out, sizeof out, "%se%+03d", buf, exponent);
  return out;
}

}  // namespace megcxc::host
