// Records every AfxMessageBox text while alive and answers with a fixed reply.
#pragma once

#include <string>
#include <vector>

#include "platform/message_box.h"

namespace megcxc::test {

class MessageRecorder {
 public:
  // `answer` is returned to every message (IDOK, IDYES or IDNO).
  explicit MessageRecorder(int answer = IDOK);
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  const std::vector<std::string>& texts() const { return texts_; }
  const std::vector<unsigned>& types() const { return types_; }
  // The single message shown, or "" when none; fails the test when more than one.
  std::string only() const;
  void clear() {
    texts_.clear();
    types_.clear();
  }
  void setAnswer(int answer) { answer_ = answer; }

 private:
  std::vector<std::string> texts_;
  std::vector<unsigned> types_;
  int answer_;
  MessageBoxHandler previous_;
};

}  // namespace megcxc::test
