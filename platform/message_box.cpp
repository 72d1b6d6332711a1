#include "platform/message_box.h"

#include <cstdio>

namespace {
MessageBoxHandler& current() {
  static MessageBoxHandler handler = defaultMessageBoxHandler;
  return handler;
}
}  // namespace

int defaultMessageBoxHandler(const CString& text, unsigned type) {
  const bool yesNo = (type & 0x000F) == MB_YESNO;
  std::fprintf(stderr, "megcxc: %s%s\n", text.toUtf8().c_str(), yesNo ? " [answered No]" : "");
  return yesNo ? IDNO : IDOK;
}

int AfxMessageBox(const CString& text, unsigned type, unsigned /*helpId*/) {
  const MessageBoxHandler& h = current();
  return h ? h(text, type) : defaultMessageBoxHandler(text, type);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(current());
  current() = handler ? std::move(handler) : MessageBoxHandler(defaultMessageBoxHandler);
  return previous;
}

namespace megcxc {

RepeatedMessageFilter::RepeatedMessageFilter() {
  // The lambda captures `this`; the filter is neither copied nor moved.
  previous_ = setMessageBoxHandler([this](const CString& text, unsigned type) {
    const bool yesNo = (type & 0x000F) == MB_YESNO;
    if (!yesNo) {
      for (const CString& s : seen_) {
        if (s == text) {
          ++suppressed_;
          return IDOK;
        }
      }
      seen_.push_back(text);
    }
    return previous_ ? previous_(text, type) : defaultMessageBoxHandler(text, type);
  });
}

RepeatedMessageFilter::~RepeatedMessageFilter() { setMessageBoxHandler(std::move(previous_)); }

}  // namespace megcxc
