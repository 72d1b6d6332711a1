// AfxMessageBox: the one route of every user-facing message of the library.
//
// The library's messages are fixed texts. They all go through one replaceable
// process-wide handler so that each front end presents them its own way (the
// command-line tool prints them, the GUI shows a QMessageBox) and tests can
// record them exactly.
#pragma once

#include <functional>
#include <vector>

#include "platform/cstring.h"

// Button sets and results: the Windows values.
inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_YESNO = 0x0004;
inline constexpr unsigned MB_ICONQUESTION = 0x0020;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x0030;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

using MessageBoxHandler = std::function<int(const CString& text, unsigned type)>;

// Shows `text` through the installed handler and returns its answer.
int AfxMessageBox(const CString& text, unsigned type = MB_OK, unsigned helpId = 0);

// Installs `handler` (an empty one restores the default) and returns the
// previous one. The default prints the text to stderr and answers IDOK, or
// IDNO to a Yes/No question, so nothing destructive happens without consent.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

// The default handler itself.
int defaultMessageBoxHandler(const CString& text, unsigned type);

namespace megcxc {

// While alive, passes each distinct message text on to the handler that was
// installed before it only the first time and counts the repeats instead.
// Yes/No questions always pass. Readers go on after a refused inner record,
// and in a damaged file every later record can be refused with the same
// text; a loader opens one of these so that the user sees each message once.
class RepeatedMessageFilter {
 public:
  RepeatedMessageFilter();
  ~RepeatedMessageFilter();
  RepeatedMessageFilter(const RepeatedMessageFilter&) = delete;
  RepeatedMessageFilter& operator=(const RepeatedMessageFilter&) = delete;

  // Repeats that were not passed on.
  int suppressed() const { return suppressed_; }
  // Every message other than a question seen so far, repeats included.
  int messages() const { return static_cast<int>(seen_.size()) + suppressed_; }

 private:
  MessageBoxHandler previous_;
  std::vector<CString> seen_;
  int suppressed_ = 0;
};

}  // namespace megcxc
