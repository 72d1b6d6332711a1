// Shared parts of the cxc command-line tool: exit codes and the error type,
// the console that shows library messages, the terminal progress bar, and the
// translation of a host step's outcome into the tool's terms.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/collection_file.h"
#include "host/steps.h"
#include "platform/cdialog.h"
#include "platform/cstring.h"
#include "platform/message_box.h"

namespace cxc {

inline constexpr int kExitOk = 0;
// A refused operation, an unreadable or foreign file, a failed write.
inline constexpr int kExitRefused = 1;
// Bad usage: unknown option, missing or malformed argument.
inline constexpr int kExitUsage = 2;

// A failure the tool reports as one line ("cxc: <message>") and exits with
// `exitCode`. Messages name the file and the problem.
class Error : public std::runtime_error {
 public:
  Error(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// Error with kExitRefused.
[[noreturn]] void refuse(const std::string& message);
// Error with kExitUsage.
[[noreturn]] void badUsage(const std::string& message);

// UTF-8 text of a library string with trailing blanks and line breaks
// removed, so a message prints as one line.
std::string oneLine(const CString& text);

// Collects every library message while alive (printed by main through
// printLibraryMessages, so that a failure leads with the tool's own line) and
// answers Yes/No questions: Yes only when `answerYes` is set, else No (and the
// question is remembered so the caller can tell the user how to agree).
// Restores the previous handler on destruction.
class TerminalProgress;

class MessageConsole {
 public:
  explicit MessageConsole(bool answerYes);
  ~MessageConsole();
  MessageConsole(const MessageConsole&) = delete;
  MessageConsole& operator=(const MessageConsole&) = delete;

  // Messages shown since construction (or the last resetCount).
  int shown() const { return shown_; }
  void resetCount() { shown_ = 0; }
  // True when a Yes/No question was answered No; its text in declinedText().
  bool declinedQuestion() const { return !declined_.empty(); }
  const std::string& declinedText() const { return declined_; }
  void clearDeclined() { declined_.clear(); }
  // Ends the bar of `progress` (may be null) before each message, so a
  // message never lands in the middle of a progress line.
  void attachProgress(TerminalProgress* progress) { progress_ = progress; }

 private:
  int handle(const CString& text, unsigned type);

  bool answerYes_;
  int shown_ = 0;
  std::string declined_;
  TerminalProgress* progress_ = nullptr;
  MessageBoxHandler previous_;
};

// Prints each text as "cxc: warning: <text>".
void printWarnings(const std::vector<std::string>& warnings);

// The library messages collected so far, and printing them (and forgetting
// them): after a failure indented under the tool's line ("cxc:   the library
// said: <text>"), otherwise as "cxc: <text>".
std::vector<std::string>& libraryMessages();
void printLibraryMessages(bool failed);

// The tool's progress window: a one-line bar on stderr, drawn only when
// stderr is a terminal (the window is "visible" then), so the library's
// progress notices and the tool's own steps show there and nothing is printed
// into a pipe or log. The library posts WM_SPCTM_PROGRESS after writing its
// text into `text()`; the tool's own work calls step().
class TerminalProgress : public CDialog {
 public:
  TerminalProgress();
  // Clears the bar if one is drawn.
  ~TerminalProgress() override;

  bool IsWindowVisible() const override { return enabled_; }
  // Draws the library's progress text (WM_SPCTM_PROGRESS); other messages are
  // only recorded.
  bool PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;

  // The string the library formats its progress texts into.
  CString* text() { return &text_; }
  // Draws "label [#####     ] done/total"; redraws only when the bar changes.
  void step(const std::string& label, int64_t done, int64_t total);
  // The byte progress of a collection file's load or save (see
  // host/collection_file.h): "<verb> <file name> [###   ] 12.5/48.0 MB",
  // cleared once the whole file went through. Empty when no bar is drawn, so
  // that a save does not size its archive for nobody.
  megcxc::host::ByteProgress bytes(const std::string& verb, const std::string& path);
  // Clears the current bar from the line.
  void finish();

 private:
  void draw(const std::string& label, int64_t done, int64_t total);

  bool enabled_;
  bool inBytes_ = false;  // the bar counts bytes (shown in MB)
  bool drawn_ = false;
  int lastCells_ = -1;
  std::string lastLabel_;
  CString text_;
};

// Throws Error (refused) for a step that was not done: "<file>: <reason>",
// with the option that agrees to a declined question and the step that
// provides a missing power/phase plane. Prints the questions the step's
// consent answered, as the console prints those it answers.
void requireDone(const megcxc::host::Outcome& outcome, const megcxc::host::Step& step, const std::string& file);

}  // namespace cxc
