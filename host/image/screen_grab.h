// Pixels from an X display, as a person sees them: the whole screen, a region
// of it, or a window (found by id, by the pid of the application that owns it,
// or by its title), converted to grey from whatever depth and byte order the
// server uses.
//
// A window is grabbed where it is on the screen (its rectangle of the root
// window, clipped to the screen), so what covers it is grabbed too, a part off
// the screen is left out, and a 32-bit window needs nothing special.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/image/grey_image.h"

namespace image {

struct Rect {
  int x = 0, y = 0;
  int width = 0, height = 0;
};

class ScreenGrabber {
 public:
  // Connects to `display` (DISPLAY when empty); NoDisplay when it cannot.
  explicit ScreenGrabber(const std::string& display = {});
  ~ScreenGrabber();
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  Rect ScreenRect() const;

  // The application window of a process, found as the add-in finds its host's:
  // the first window of _NET_CLIENT_LIST whose _NET_WM_PID is `pid` and whose
  // first _NET_WM_WINDOW_TYPE is NORMAL. NoWindow when there is none.
  std::uint32_t WindowOfPid(std::uint32_t pid);

  // The managed window whose title (_NET_WM_NAME, else WM_NAME) is `name`, or
  // else the one window whose title contains it. NoWindow when none or
  // several match (the message lists them).
  std::uint32_t WindowNamed(const std::string& name);

  // NoWindow (no such window), NotViewable (unmapped, iconified or off the
  // screen), BlackGrab (every pixel black), GrabFailed (refused).
  GreyImage GrabWindow(std::uint32_t window);
  GreyImage GrabRegion(const Rect& region);  // clipped to the screen
  GreyImage GrabScreen();

  // The windows stacked above `window` that cover part of it, topmost last:
  // each as 'its title' (its application window's, for a window manager's
  // frame), else its id. Empty when nothing covers it or it is gone.
  std::vector<std::string> WindowsCovering(std::uint32_t window);

  struct State;  // the connection and what is known of the screen (screen_state.h)

 private:
  std::unique_ptr<State> state_;
};

}  // namespace image
