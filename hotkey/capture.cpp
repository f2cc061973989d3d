#include "hotkey/capture.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

#include "abi/diagnostics.h"
#include "x11/connection.h"
#include "x11/keyboard.h"

namespace wedgesim {

namespace {

constexpr std::string_view kPrompt = "Press a key or combination of keys...";

struct CapturedKey {
  std::uint32_t keycode;
  std::uint32_t state;
};

// Creates the prompt window as a child of the host's window and gives it the
// focus. False when either fails (a host window that is gone, or one that is
// not viewable and so cannot hold the focus): waiting for a key would never end.
bool ShowCaptureWindow(const x11::Connection& display, xcb_window_t window,
                       xcb_window_t hostWindow) {
  xcb_connection_t* c = display.get();
  const xcb_screen_t* screen = display.screen();
  const std::uint32_t values[] = {screen->white_pixel, screen->black_pixel,
                                  XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_KEY_RELEASE};
  const xcb_void_cookie_t created = xcb_create_window_checked(
      c, XCB_COPY_FROM_PARENT, window, hostWindow, 100, 100, 400, 50, 2,
      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
      XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK, values);
  const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
  xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, above);  // raised, then mapped
  xcb_map_window(c, window);
  const xcb_void_cookie_t focused =
      xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_NONE, window, XCB_CURRENT_TIME);
  if (!x11::Check(c, created)) {
    Diagnostic("capture: the window cannot be created in host window 0x%x", hostWindow);
    return false;
  }
  if (!x11::Check(c, focused)) {
    Diagnostic("capture: the window cannot take the keyboard focus (host window not viewable)");
    return false;
  }
  return true;
}

// NOTE: the focus alone is not enough for a modal capture: a window manager
// that handles an older activation request late moves the focus back to the
// host's top-level window, and the capture would then wait for a key that
// never comes. A keyboard grab keeps every key with the capture window.
bool GrabKeyboard(xcb_connection_t* c, xcb_window_t window) {
  const x11::Owned<xcb_grab_keyboard_reply_t> grab(xcb_grab_keyboard_reply(
      c,
      xcb_grab_keyboard(c, 0, window, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
      nullptr));
  return grab && grab->status == XCB_GRAB_STATUS_SUCCESS;
}

void DrawPrompt(xcb_connection_t* c, xcb_window_t window, xcb_gcontext_t gc) {
  // One PolyText8 item: length, delta, then the characters.
  std::uint8_t item[2 + kPrompt.size()];
  item[0] = static_cast<std::uint8_t>(kPrompt.size());
  item[1] = 0;
  std::memcpy(item + 2, kPrompt.data(), kPrompt.size());
  xcb_poly_text_8(c, window, gc, 20, 20, sizeof item, item);
  xcb_flush(c);
}

// The window selects only exposures and key releases, so nothing tells it
// that it went with the host's window (another host thread destroying it):
// while no event comes, whether it still exists is asked this often.
constexpr int kWindowCheckMilliseconds = 1000;
// While another program holds the keyboard (a menu, a key binding being
// handled), the grab is tried again this often, so the capture holds the keys
// as soon as they are free; meanwhile it relies on the focus.
constexpr int kGrabRetryMilliseconds = 50;

bool WindowExists(xcb_connection_t* c, xcb_window_t window) {
  const x11::Owned<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
  return attributes != nullptr;
}

// Takes the keyboard, then waits for the first key released in the window
// that is not a modifier (releasing Ctrl before F9 must not store Ctrl
// alone), redrawing the prompt on every exposure. The modifiers are those of
// the key's press when the capture saw it (the keyboard grab brings presses
// too), so Ctrl released a moment before F9 still counts; else those of its
// release. Lost or Ended when the server connection is lost or the window is
// destroyed first.
CaptureOutcome WaitForKeyRelease(const x11::Connection& display, xcb_window_t window,
                                 const x11::KeyboardMap& keyboard, CapturedKey* key) {
  xcb_connection_t* c = display.get();
  bool grabbed = GrabKeyboard(c, window);
  if (!grabbed) Diagnostic("capture: another program holds the keyboard; relying on the focus");
  const xcb_gcontext_t gc = xcb_generate_id(c);
  const std::uint32_t gcValues[] = {display.screen()->black_pixel, display.screen()->white_pixel};
  xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND, gcValues);
  xcb_flush(c);
  constexpr std::uint32_t kNotPressed = ~std::uint32_t{0};
  std::uint32_t pressState[256];
  std::fill(std::begin(pressState), std::end(pressState), kNotPressed);
  pollfd socket{display.fd(), POLLIN, 0};
  while (!xcb_connection_has_error(c)) {
    // poll() sees only the socket: take what XCB has already buffered first.
    while (x11::Owned<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
      const std::uint8_t type = x11::EventType(*event);
      if (type == XCB_EXPOSE) {
        DrawPrompt(c, window, gc);
      } else if (type == XCB_KEY_PRESS) {
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
        pressState[press->detail] = press->state;
      } else if (type == XCB_KEY_RELEASE) {
        const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event.get());
        if (x11::IsModifierKeysym(keyboard.FirstSymbol(release->detail))) continue;
        const std::uint32_t pressed = pressState[release->detail];
        *key = {release->detail, pressed != kNotPressed ? pressed : release->state};
        return CaptureOutcome::Captured;
      }
    }
    if (xcb_connection_has_error(c)) break;
    const int ready = poll(&socket, 1, grabbed ? kWindowCheckMilliseconds : kGrabRetryMilliseconds);
    if (ready < 0 && errno != EINTR) break;
    if (ready != 0) continue;
    if (!WindowExists(c, window)) {
      if (xcb_connection_has_error(c)) break;
      Diagnostic("capture: the host window was destroyed while waiting for a key");
      return CaptureOutcome::Ended;
    }
    if (!grabbed && (grabbed = GrabKeyboard(c, window)))
      Diagnostic("capture: the keyboard is free again and held by the capture");
  }
  Diagnostic("capture: the X server connection was lost before a key was released");
  return CaptureOutcome::Lost;
}

}  // namespace

CaptureOutcome CaptureKey(std::uint32_t hostWindow, Hotkey* captured) {
  if (hostWindow == 0) {
    Diagnostic("capture: no host window to show the capture window in");
    return CaptureOutcome::NoHostWindow;
  }
  x11::Connection display;
  if (!display.ok()) {
    Diagnostic("capture: no X display");
    return CaptureOutcome::NoDisplay;
  }
  xcb_connection_t* c = display.get();
  // The keys' symbols are read before the wait: whether the key released was
  // Escape is then known from the event alone, so a connection lost right
  // after it cannot turn a cancel into an assignment.
  const xcb_get_keyboard_mapping_cookie_t mapping = x11::KeyboardMap::Request(c);
  const xcb_window_t window = xcb_generate_id(c);
  CapturedKey key{};
  CaptureOutcome outcome = CaptureOutcome::NotShown;
  x11::KeyboardMap keyboard;
  if (ShowCaptureWindow(display, window, hostWindow)) {
    keyboard = x11::KeyboardMap::Read(c, mapping);
    outcome = keyboard.empty() ? CaptureOutcome::Lost
                               : WaitForKeyRelease(display, window, keyboard, &key);
  }
  // Gone before we return, so the host's window is whole again when the action ends.
  xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
  xcb_destroy_window(c, window);
  display.Sync();
  if (outcome != CaptureOutcome::Captured) return outcome;

  if (keyboard.FirstSymbol(key.keycode) == x11::kEscapeKeysym) return CaptureOutcome::Cancelled;
  *captured = {static_cast<std::int32_t>(key.keycode), static_cast<std::int32_t>(key.state)};
  return CaptureOutcome::Captured;
}

}  // namespace wedgesim
