// The host's top-level window, made the way a real application makes one.
#include "host/desktop/window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>

#include "host/desktop/detail.h"
#include "host/kit/wait.h"

namespace hostkit {

using namespace detail;  // the pieces the desktop's files share

// ---- HostTopLevelWindow ------------------------------------------------------

std::unique_ptr<HostTopLevelWindow> HostTopLevelWindow::Create(const std::string& display,
                                                               const WindowOptions& options,
                                                               std::string* error) {
  if (options.width == 0 || options.height == 0) {
    SetError(error, "a window needs a non-zero size");  // X would answer with BadValue
    return nullptr;
  }
  std::unique_ptr<HostTopLevelWindow> window(new HostTopLevelWindow());
  window->display_ = OpenDisplay(display);
  if (window->display_ == nullptr) {
    SetError(error, "cannot open display '" + display + "'");
    return nullptr;
  }
  Display* dpy = window->display();
  const int screen = DefaultScreen(dpy);
  window->window_ =
      XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, options.width, options.height, 0,
                          BlackPixel(dpy, screen), WhitePixel(dpy, screen));

  // WM_NAME, WM_CLASS, WM_CLIENT_MACHINE (XSetWMProperties fills it from the host name), and
  // WM_HINTS that accept input: without that flag the window manager would never focus us.
  std::string title = options.title;
  char* titleList[] = {title.data()};
  XTextProperty name{};
  if (XStringListToTextProperty(titleList, 1, &name) == 0) {
    SetError(error, "cannot convert the window title");
    return nullptr;
  }
  std::string resName = "wedgesim-host", resClass = "WedgesimHost";
  XClassHint classHint{resName.data(), resClass.data()};
  XWMHints hints{};
  hints.flags = InputHint | StateHint;
  hints.input = True;
  hints.initial_state = NormalState;
  XSizeHints sizeHints{};
  sizeHints.flags = PSize;
  sizeHints.width = static_cast<int>(options.width);
  sizeHints.height = static_cast<int>(options.height);
  XSetWMProperties(dpy, window->window_, &name, &name, nullptr, 0, &sizeHints, &hints, &classHint);
  XFree(name.value);

  const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
  XChangeProperty(dpy, window->window_, XInternAtom(dpy, "_NET_WM_NAME", False), utf8, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(options.title.data()),
                  static_cast<int>(options.title.size()));

  if (options.pid != 0) {
    // Format-32 property data is passed as C longs, whatever the width of long.
    long pid = options.pid < 0 ? static_cast<long>(getpid()) : options.pid;
    XChangeProperty(dpy, window->window_, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
  }
  if (!options.types.empty()) {
    std::vector<long> types;
    for (const std::string& type : options.types) {
      types.push_back(static_cast<long>(XInternAtom(dpy, type.c_str(), False)));
    }
    XChangeProperty(dpy, window->window_, XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                    32, PropModeReplace, reinterpret_cast<const unsigned char*>(types.data()),
                    static_cast<int>(types.size()));
  }
  if (options.map) {
    XMapWindow(dpy, window->window_);
    window->mapped_ = true;
  }
  XSync(dpy, False);
  return window;
}

bool HostTopLevelWindow::Viewable() const {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display(), window_, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

bool HostTopLevelWindow::WaitListed(std::chrono::milliseconds timeout) {
  return WaitUntil([this] { return Listed(display(), window_) && (!mapped_ || Viewable()); },
                   timeout);
}

bool HostTopLevelWindow::Activate(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  if (WindowManagerReady(display())) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(display(), "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // source indication: a pager, which managers obey unconditionally
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = 0;
    XSendEvent(display(), DefaultRootWindow(display()), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display(), False);
    if (WaitUntil([this] { return HasFocus(); }, timeout / 2)) return true;
  }
  // Focusing an unviewable window is a BadMatch error, so wait for viewability first (a manager
  // may still be mapping its frame) and only then set the focus ourselves.
  if (!WaitUntil([this] { return Viewable(); }, Remaining(deadline))) return false;
  XSetInputFocus(display(), window_, RevertToParent, CurrentTime);
  XSync(display(), False);
  return WaitUntil([this] { return HasFocus(); }, Remaining(deadline));
}

bool HostTopLevelWindow::HasFocus() const {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display(), &focus, &revert);
  if (focus == window_) return true;
  if (focus == None || focus == PointerRoot) return false;
  // Walk our own subtree rather than up from the focus window: ours is known to exist, while the
  // focus window may belong to another client and vanish between the two requests.
  std::vector<Window> pending{window_};
  while (!pending.empty()) {
    Window current = pending.back();
    pending.pop_back();
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display(), current, &root, &parent, &children, &count) == 0) continue;
    bool found = std::find(children, children + count, focus) != children + count;
    pending.insert(pending.end(), children, children + count);
    if (children != nullptr) XFree(children);
    if (found) return true;
  }
  return false;
}

void HostTopLevelWindow::Unmap() {
  XWithdrawWindow(display(), window_, DefaultScreen(display()));
  XSync(display(), False);
  mapped_ = false;
  WaitUntil([this] { return !Viewable(); }, std::chrono::seconds(5));
}

}  // namespace hostkit
