#include "support/message_recorder.h"

#include <gtest/gtest.h>

namespace megcxc::test {

MessageRecorder::MessageRecorder(int answer) : answer_(answer) {
  previous_ = setMessageBoxHandler([this](const CString& text, unsigned type) {
    texts_.push_back(text.toUtf8());
    types_.push_back(type);
    return answer_;
  });
}

MessageRecorder::~MessageRecorder() { setMessageBoxHandler(previous_); }

std::string MessageRecorder::only() const {
  EXPECT_LE(texts_.size(), 1u) << "more than one message was shown";
  return texts_.empty() ? std::string() : texts_.front();
}

}  // namespace megcxc::test
