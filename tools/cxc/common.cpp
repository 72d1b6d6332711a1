#include "tools/cxc/common.h"

#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace cxc {

namespace {
constexpr int kCells = 30;

// Cells of the bar filled at `done` of `total`.
int filledCells(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  const int64_t clamped = done < 0 ? 0 : (done > total ? total : done);
  return static_cast<int>(clamped * kCells / total);
}
}  // namespace

void refuse(const std::string& message) { throw Error(kExitRefused, message); }

void badUsage(const std::string& message) { throw Error(kExitUsage, message); }

std::string oneLine(const CString& text) {
  std::string s = text.toUtf8();
  for (char& c : s) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
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
  // Printed by main after the command: below the line that says what failed
  // when it fails, at the end otherwise.
  libraryMessages().push_back(line);
  return IDOK;
}

std::vector<std::string>& libraryMessages() {
  static std::vector<std::string> messages;
  return messages;
}

void printWarnings(const std::vector<std::string>& warnings) {
  for (const std::string& w : warnings) std::fprintf(stderr, "cxc: warning: %s\n", w.c_str());
}

void printLibraryMessages(bool failed) {
  for (const std::string& m : libraryMessages()) {
    std::fprintf(stderr, failed ? "cxc:   the library said: %s\n" : "cxc: %s\n", m.c_str());
  }
  libraryMessages().clear();
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
  inBytes_ = false;
  const int cells = filledCells(done, total);
  if (label == lastLabel_ && cells == lastCells_ && done != total) return;
  if (drawn_ && label != lastLabel_) finish();
  lastLabel_ = label;
  lastCells_ = cells;
  draw(label, done, total);
}

megcxc::host::ByteProgress TerminalProgress::bytes(const std::string& verb, const std::string& path) {
  if (!enabled_) return {};
  const std::string label = verb + " " + path.substr(path.find_last_of('/') + 1);
  return [this, label](int64_t done, int64_t total) {
    if (label != lastLabel_ && drawn_) finish();
    inBytes_ = true;
    const int cells = filledCells(done, total);
    if (label != lastLabel_ || cells != lastCells_) {
      lastLabel_ = label;
      lastCells_ = cells;
      draw(label, done, total);
    }
    // A finished file leaves no bar for the results printed next.
    if (done >= total) finish();
  };
}

void TerminalProgress::draw(const std::string& label, int64_t done, int64_t total) {
  char bar[kCells + 1];
  for (int i = 0; i < kCells; ++i) bar[i] = i < lastCells_ ? '#' : ' ';
  bar[kCells] = '\0';
  if (total > 0 && inBytes_) {
    std::fprintf(stderr, "\r%-22.22s [%s] %.1f/%.1f MB\x1b[K", label.c_str(), bar, static_cast<double>(done) / 1048576.0,
                 static_cast<double>(total) / 1048576.0);
  } else if (total > 0) {
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

void requireDone(const megcxc::host::Outcome& outcome, const megcxc::host::Step& step, const std::string& file) {
  for (const std::string& question : outcome.answered) {
    const std::size_t arrow = question.rfind(" -> ");
    const bool yes = arrow != std::string::npos && question.compare(arrow, std::string::npos, " -> Yes") == 0;
    std::fprintf(stderr, "cxc: %s? -> %s\n", question.substr(0, arrow).c_str(), yes ? "Yes (--yes)" : "No");
  }
  if (outcome.done) return;
  using megcxc::host::Refusal;
  using megcxc::host::StepKind;
  std::string hint;
  if (outcome.refusal == Refusal::declined && step.kind == StepKind::actCtl) {
    hint = "; add --yes to let --act-ctl collapse it over time first";
  } else if (outcome.refusal == Refusal::missingPlane && step.dataType == 2) {
    hint = " (add --magnitude first)";
  }
  refuse(file + ": " + outcome.text + hint);
}

}  // namespace cxc
