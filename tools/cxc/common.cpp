#include "tools/cxc/common.h"

#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace cxc {

void refuse(const std::string& message) { throw Error(kExitRefused, message); }

void badUsage(const std::string& message) { throw Error(kExitUsage, message); }

namespace {
const char* const kClassNames[kClassCount] = {"active", "control", "act-ctl"};
const char* const kDataTypeNames[3] = {"real", "imag", "power"};
}  // namespace

int classFromName(const std::string& name) {
  for (int i = 0; i < kClassCount; ++i) {
    if (name == kClassNames[i]) return i;
  }
  return -1;
}

const char* className(int spctmClass) {
  return spctmClass >= 0 && spctmClass < kClassCount ? kClassNames[spctmClass] : "?";
}

int dataTypeFromName(const std::string& name) {
  for (int i = 0; i < 3; ++i) {
    if (name == kDataTypeNames[i]) return i;
  }
  return -1;
}

const char* dataTypeName(int dataType) { return dataType >= 0 && dataType < 3 ? kDataTypeNames[dataType] : "?"; }

std::string oneLine(const CString& text) {
  std::string s = text.toUtf8();
  for (char& c : s) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string jsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

MessageConsole::MessageConsole(bool answerYes) : answerYes_(answerYes) {
  previous_ = setMessageBoxHandler([this](const CString& text, unsigned type) { return handle(text, type); });
}

MessageConsole::~MessageConsole() { setMessageBoxHandler(std::move(previous_)); }

int MessageConsole::handle(const CString& text, unsigned type) {
  ++shown_;
  if (progress_) progress_->finish();
  const std::string line = oneLine(text);
  if ((type & 0x000F) == MB_YESNO) {
    std::fprintf(stderr, "cxc: %s? -> %s\n", line.c_str(), answerYes_ ? "Yes (--yes)" : "No");
    if (answerYes_) return IDYES;
    declined_ = line;
    return IDNO;
  }
  std::fprintf(stderr, "cxc: %s\n", line.c_str());
  return IDOK;
}

TerminalProgress::TerminalProgress() : CDialog(false), enabled_(::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() { finish(); }

bool TerminalProgress::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (message != WM_SPCTM_PROGRESS) return CDialog::PostMessage(message, wParam, lParam);
  // The library's notice reads "...(Channel::<total>-><done>)...".
  const std::string t = text_.toUtf8();
  long long total = 0;
  long long done = 0;
  const char* p = std::strstr(t.c_str(), "(Channel::");
  if (p && std::sscanf(p, "(Channel::%lld->%lld)", &total, &done) == 2) {
    const bool failed = t.find("error") != std::string::npos;
    step(failed ? "initialisation failed" : "initialising pairs", done, total);
  } else {
    step(t, 0, 0);
  }
  return true;
}

void TerminalProgress::step(const std::string& label, int64_t done, int64_t total) {
  if (!enabled_) return;
  constexpr int kCells = 30;
  int cells = 0;
  if (total > 0) {
    const int64_t clamped = done < 0 ? 0 : (done > total ? total : done);
    cells = static_cast<int>(clamped * kCells / total);
  }
  if (label == lastLabel_ && cells == lastCells_ && done != total) return;
  if (drawn_ && label != lastLabel_) finish();
  lastLabel_ = label;
  lastCells_ = cells;
  draw(label, done, total);
}

void TerminalProgress::draw(const std::string& label, int64_t done, int64_t total) {
  constexpr int kCells = 30;
  char bar[kCells + 1];
  for (int i = 0; i < kCells; ++i) bar[i] = i < lastCells_ ? '#' : ' ';
  bar[kCells] = '\0';
  if (total > 0) {
    std::fprintf(stderr, "\r%-22.22s [%s] %" PRId64 "/%" PRId64 "\x1b[K", label.c_str(), bar, done, total);
  } else {
    std::fprintf(stderr, "\r%s\x1b[K", label.c_str());
  }
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalProgress::finish() {
  if (drawn_) {
    // Clear the bar: finished work leaves no trace among the results.
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
  }
  drawn_ = false;
  lastCells_ = -1;
  lastLabel_.clear();
}

}  // namespace cxc
