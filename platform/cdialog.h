// CDialog: the host window that receives progress notices.
//
// The library only asks whether the window is visible and posts messages to
// it. The base class is visible when told so and records every posted message;
// hosts subclass it (the command-line tool draws a progress bar, the GUI
// forwards to its event loop).
#pragma once

#include <cstdint>
#include <vector>

inline constexpr unsigned WM_APP = 0x8000;
// Posted to the progress dialog after the progress text was updated.
inline constexpr unsigned WM_SPCTM_PROGRESS = WM_APP + 9;

class CWnd {
 public:
  virtual ~CWnd() = default;
};

class CDialog : public CWnd {
 public:
  struct PostedMessage {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
  };

  explicit CDialog(bool visible = true) : visible_(visible) {}

  virtual bool IsWindowVisible() const { return visible_; }
  void setVisible(bool visible) { visible_ = visible; }

  // Records the message; returns true (the message was queued).
  virtual bool PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    posted_.push_back({message, wParam, lParam});
    return true;
  }

  const std::vector<PostedMessage>& posted() const { return posted_; }
  void clearPosted() { posted_.clear(); }

 private:
  bool visible_;
  std::vector<PostedMessage> posted_;
};
