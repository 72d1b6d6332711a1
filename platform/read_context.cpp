#include "platform/read_context.h"

#include <algorithm>
#include <cstdio>

namespace megcxc {

void ReadContext::appendDoubles(std::vector<double>& out, uint64_t n) {
  constexpr uint64_t kStep = kReadAheadBytes / sizeof(double);
  while (n > 0) {
    const std::size_t take = static_cast<std::size_t>(std::min(n, kStep));
    const std::size_t done = out.size();
    out.resize(done + take);
    getDoubles(out.data() + done, take);
    n -= take;
  }
}

std::string ReadContext::place() const {
  std::string text = field_;
  char number[48];
  for (int q = 0; q < qualifiers_; ++q) {
    text += " of ";
    text += qualifier_[q].label;
    if (qualifier_[q].index >= 0) {
      std::snprintf(number, sizeof number, " %lld", static_cast<long long>(qualifier_[q].index));
      text += number;
    }
  }
  std::snprintf(number, sizeof number, " (byte %lld) of ", static_cast<long long>(start_));
  text += number;
  text += record_;
  if (identified_) {
    std::snprintf(number, sizeof number, " (%lld, %lld)", static_cast<long long>(id_[0]),
                  static_cast<long long>(id_[1]));
    text += number;
  }
  return text;
}

void ReadContext::fail(const CArchiveException& e) const {
  failed_ = true;
  const std::string here = place();
  if (e.m_place.empty()) {
    // Straight from a primitive: this context's field is where it happened.
    const std::string what = e.m_cause == CArchiveException::endOfFile ? "end of archive" : e.what();
    throw CArchiveException(e.m_cause, start_, what + " in " + here, here);
  }
  throw CArchiveException(e.m_cause, e.m_offset, std::string(e.what()) + "; in " + here, e.m_place + "; in " + here);
}

std::string describeArchiveFailure(const CArchiveException& e, int64_t streamBytes) {
  if (e.m_cause != CArchiveException::endOfFile) return std::string("damaged file (") + e.what() + ")";
  const int64_t end = streamBytes >= 0 ? streamBytes : e.m_offset;
  std::string place = e.m_place.empty() ? std::string(e.what()) : e.m_place;
  return "truncated or damaged file (ends at byte " + std::to_string(end) + " while reading " + place + ")";
}

}  // namespace megcxc
