#include "host/desktop/display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <climits>

#include "host/desktop/detail.h"

namespace hostkit {

void DisplayCloser::operator()(Display* display) const noexcept {
  if (display != nullptr) XCloseDisplay(display);
}

UniqueDisplay OpenDisplay(const std::string& name) {
  return UniqueDisplay(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
}

std::vector<unsigned long> ReadListProperty(Display* display, unsigned long window,
                                            const char* property) {
  std::vector<unsigned long> values;
  Atom atom = XInternAtom(display, property, True);
  if (atom == None) return values;  // nobody ever set it on this server
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, atom, 0, LONG_MAX / 4, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) != Success) {
    return values;
  }
  if (format == 32 && (type == XA_CARDINAL || type == XA_WINDOW || type == XA_ATOM)) {
    // Format-32 items arrive as C longs; only the low 32 bits carry the value.
    const long* items = reinterpret_cast<const long*>(data);
    for (unsigned long i = 0; i < count; ++i) {
      values.push_back(static_cast<unsigned long>(items[i]) & 0xFFFFFFFFUL);
    }
  }
  if (data != nullptr) XFree(data);
  return values;
}

bool detail::WindowManagerReady(Display* display) {
  std::vector<unsigned long> check =
      ReadListProperty(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK");
  return check.size() == 1 && check[0] != 0;
}

bool detail::Listed(Display* display, unsigned long window) {
  std::vector<unsigned long> clients =
      ReadListProperty(display, DefaultRootWindow(display), "_NET_CLIENT_LIST");
  return std::find(clients.begin(), clients.end(), window) != clients.end();
}

}  // namespace hostkit
