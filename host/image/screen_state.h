// What the screen grabber's files share (screen_grab.cpp, window_lookup.cpp);
// not for its users.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/image/screen_grab.h"

namespace image {

template <typename T>
struct XcbFree {
  void operator()(T* p) const noexcept { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree<T>>;

struct ScreenGrabber::State {
  xcb_connection_t* connection = nullptr;
  const xcb_screen_t* screen = nullptr;
  std::string display;  // for messages

  // A format-32 property of the given type as a list (empty when missing, of
  // another type, or when the window is gone).
  std::vector<std::uint32_t> List32(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
  xcb_atom_t Atom(const char* name);
};

// "0x1a00003", as xwininfo and xprop name windows.
std::string WindowText(std::uint32_t window);

}  // namespace image
