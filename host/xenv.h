// A private X11 desktop for tests and the reference host: a headless Xvfb server, optionally with
// openbox as the window manager, a top-level window made the way a real application makes one,
// and an XTest key injector.
//
// X error handling: nothing here installs an Xlib error handler. Every request is made so that it
// cannot fail on a healthy server (windows are checked for viewability before focusing, keycodes
// are range-checked before XTest), because Xlib's default handler would end the process. Tests
// that want to provoke errors install their own handler.
//
// Threads: each object owns its own Display connection; a connection must only be used from one
// thread at a time.
#ifndef WEDGESIM_HOST_XENV_H_
#define WEDGESIM_HOST_XENV_H_

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Xlib's own declaration, repeated so that including this header does not pull in Xlib's macros
// (None, Bool, Status, IsViewable, ...) everywhere.
typedef struct _XDisplay Display;

namespace hostkit {

struct XServerOptions {
  bool windowManager = true;  // also start openbox and wait until it manages the screen
};

// Owns an Xvfb process (and an openbox process when asked for) on a display of its own.
//
// The children are started with a parent-death signal (SIGTERM), so a test process that crashes or
// is killed by a timeout does not leave servers behind. The signal is tied to the *thread* that
// called Start(): call Start() from a thread that outlives the server (normally the main thread).
class PrivateXServer {
 public:
  // Starts `Xvfb -displayfd FD -screen 0 1280x1024x24 -nolisten tcp -noreset`; the server picks a
  // free display and reports it through the pipe once it accepts connections. Then, if asked,
  // starts `openbox --sm-disable` on it and waits until the root window carries
  // _NET_SUPPORTING_WM_CHECK. Returns nullptr and fills *error (when given) on failure; the message
  // includes the tail of the failing program's stderr.
  static std::unique_ptr<PrivateXServer> Start(const XServerOptions& options = {},
                                               std::string* error = nullptr);

  // Stops the window manager, then the server: SIGTERM, a short wait, then SIGKILL; both reaped.
  ~PrivateXServer();

  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  const std::string& display() const { return display_; }  // ":N"
  void ExportDisplay() const;                              // setenv("DISPLAY", display(), 1)
  pid_t serverPid() const { return serverPid_; }
  pid_t windowManagerPid() const { return windowManagerPid_; }  // 0 when started without one

 private:
  PrivateXServer() = default;
  static void Stop(pid_t& pid);

  std::string display_;
  pid_t serverPid_ = 0;
  pid_t windowManagerPid_ = 0;
};

struct WindowOptions {
  std::vector<std::string> types = {"_NET_WM_WINDOW_TYPE_NORMAL"};  // empty: no _NET_WM_WINDOW_TYPE
  long pid = -1;  // -1: getpid(); 0: no _NET_WM_PID property; otherwise that value
  bool map = true;
  std::string title = "wedgesim host";
  unsigned width = 640, height = 480;
};

// The host's own top-level window with the properties a real application sets (_NET_WM_PID,
// WM_CLIENT_MACHINE, _NET_WM_WINDOW_TYPE, WM_NAME/_NET_WM_NAME, WM_CLASS, WM_HINTS accepting
// input). It owns its Display connection for its whole life; closing the connection destroys the
// window.
class HostTopLevelWindow {
 public:
  static std::unique_ptr<HostTopLevelWindow> Create(const std::string& display,
                                                    const WindowOptions& options = {},
                                                    std::string* error = nullptr);
  ~HostTopLevelWindow();

  HostTopLevelWindow(const HostTopLevelWindow&) = delete;
  HostTopLevelWindow& operator=(const HostTopLevelWindow&) = delete;

  unsigned long id() const { return window_; }
  Display* display() const { return display_; }

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
  bool WindowManagerRunning() const;

  Display* display_ = nullptr;
  unsigned long window_ = 0;
  bool mapped_ = false;
};

// Injects key events with XTest through a connection of its own. Keys still held when the injector
// is destroyed are released, so a failing test cannot leave a stuck modifier behind.
class KeyInjector {
 public:
  explicit KeyInjector(const std::string& display);  // check ok() afterwards
  ~KeyInjector();

  KeyInjector(const KeyInjector&) = delete;
  KeyInjector& operator=(const KeyInjector&) = delete;

  bool ok() const { return display_ != nullptr; }

  // XStringToKeysym + XKeysymToKeycode; 0 when the name or the key is unknown.
  unsigned KeycodeOf(const char* keysymName) const;

  // Out-of-range keycodes (including 0) are ignored: XTest would answer with BadValue.
  void Press(unsigned keycode);
  void Release(unsigned keycode);

  // Presses the modifiers of modifierMask (ShiftMask: Shift_L, ControlMask: Control_L, Mod1Mask:
  // Alt_L; other bits are ignored), then the key; releases the key, then the modifiers in reverse
  // order; then waits for the server (XSync). All of it goes in one write, so the server never
  // sees the key held long enough to repeat it, however loaded the machine.
  void Tap(unsigned keycode, unsigned modifierMask = 0);

  void Sync();

 private:
  bool InRange(unsigned keycode) const;
  // Queues one fake key event without flushing.
  void Queue(unsigned keycode, bool down);

  Display* display_ = nullptr;
  int minKeycode_ = 0, maxKeycode_ = 0;
  std::vector<unsigned> held_;
};

// Evaluates predicate every ~2 ms until it is true or the timeout has passed; returns the last
// result. The predicate is evaluated at least once, and once more after the deadline.
bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

// Reads a CARDINAL, WINDOW or ATOM property of format 32 as a list. Empty when the property is
// missing or has another type or format. The window must exist.
std::vector<unsigned long> ReadListProperty(Display* display, unsigned long window,
                                            const char* property);

}  // namespace hostkit

#endif  // WEDGESIM_HOST_XENV_H_
