// The error of the layers that work on whole files and collections for a host
// (import, export, checked loads): a refused request whose text is one line
// naming the file or the object and the problem, ready to show to a user.
// The record classes below never throw it; they keep their 1 / 0 results.
#pragma once

#include <stdexcept>
#include <string>

namespace megcxc {

class Refused : public std::runtime_error {
 public:
  explicit Refused(const std::string& message) : std::runtime_error(message) {}
};

// Throws Refused(message).
[[noreturn]] inline void refuse(const std::string& message) { throw Refused(message); }

}  // namespace megcxc
