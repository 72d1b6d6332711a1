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
