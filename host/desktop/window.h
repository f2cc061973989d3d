// The host's own top-level window, made the way a real application makes one:
// the add-in looks for it at load time, grabs its hotkeys on it and opens its
// capture window inside it.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "host/desktop/display.h"

namespace hostkit {

struct WindowOptions {
  std::vector<std::string> types = {"_NET_WM_WINDOW_TYPE_NORMAL"};  // empty: no _NET_WM_WINDOW_TYPE
  long pid = -1;  // -1: getpid(); 0: no _NET_WM_PID property; otherwise that value
  bool map = true;
  std::string title = "wedgesim host";
  unsigned width = 640, height = 480;
};

// A top-level window with the properties a real application sets (_NET_WM_PID,
// WM_CLIENT_MACHINE, _NET_WM_WINDOW_TYPE, WM_NAME/_NET_WM_NAME, WM_CLASS,
// WM_HINTS accepting input). It owns its connection for its whole life; closing
// the connection destroys the window.
class HostTopLevelWindow {
 public:
  static std::unique_ptr<HostTopLevelWindow> Create(const std::string& display,
                                                    const WindowOptions& options = {},
                                                    std::string* error = nullptr);

  HostTopLevelWindow(const HostTopLevelWindow&) = delete;
  HostTopLevelWindow& operator=(const HostTopLevelWindow&) = delete;

  unsigned long id() const { return window_; }
  Display* display() const { return display_.get(); }

  // Waits until the window manager lists the window in _NET_CLIENT_LIST and, for a mapped window,
  // until it is viewable. Without a window manager nothing lists it and this returns false.
  bool WaitListed(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Asks the window manager for activation (_NET_ACTIVE_WINDOW, source indication 2 so no
  // focus-stealing rule applies) and falls back to XSetInputFocus when there is no manager or it
  // does not act within half the timeout. True once the X input focus is this window or one of its
  // descendants. The window must be mapped.
  bool Activate(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Whether the X input focus is this window or one of its descendants (which must not be destroyed
  // concurrently by another connection while this walks them).
  bool HasFocus() const;

  // Withdraws the window (unmap plus the synthetic UnmapNotify a window manager expects) and waits
  // until it is no longer viewable.
  void Unmap();

 private:
  HostTopLevelWindow() = default;
  bool Viewable() const;

  UniqueDisplay display_;  // destroys the window when it closes
  unsigned long window_ = 0;
  bool mapped_ = false;
};

}  // namespace hostkit
