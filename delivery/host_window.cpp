#include "delivery/host_window.h"

#include <unistd.h>

#include <cstring>
#include <vector>

#include "abi/diagnostics.h"
#include "abi/resident.h"
#include "x11/connection.h"

namespace wedgesim {

unsigned long CurrentProcessId = 0;
std::uint32_t HostWindow = 0;

namespace {

// Property reads for this many windows are sent together and then collected,
// so the walk waits for the server about once per batch, not twice per window.
constexpr std::size_t kWindowsPerBatch = 256;

}  // namespace

namespace {
Resident<std::u16string> pidText;
}  // namespace

const std::u16string& CurrentPidText() { return *pidText; }

void InitializeHostWindow() {
  CurrentProcessId = static_cast<unsigned long>(getpid());
  const std::string digits = std::to_string(CurrentProcessId);
  *pidText = std::u16string(digits.begin(), digits.end());
  HostWindow = FindHostWindow(static_cast<std::uint32_t>(CurrentProcessId));
  if (HostWindow == 0)
    Diagnostic("no host window found at load (pid %lu): hotkeys and activation are off",
               CurrentProcessId);
  else
    Diagnostic("host window 0x%x found at load (pid %lu)", HostWindow, CurrentProcessId);
}

std::uint32_t FindHostWindow(std::uint32_t pid) {
  x11::Connection display;
  if (!display.ok()) {
    Diagnostic("no X display: the host window cannot be found");
    return 0;
  }
  return FindHostWindow(display, pid);
}

std::uint32_t FindHostWindow(x11::Connection& display, std::uint32_t pid) {
  xcb_connection_t* c = display.get();
  // Only-if-exists for NORMAL: when no client ever made that atom, no window can be normal.
  const std::vector<xcb_atom_t> atoms = x11::InternAtoms(c, {{"_NET_CLIENT_LIST", false},
                                                             {"_NET_WM_PID", false},
                                                             {"_NET_WM_WINDOW_TYPE", false},
                                                             {"_NET_WM_WINDOW_TYPE_NORMAL", true}});
  const xcb_atom_t pidAtom = atoms[1], typeAtom = atoms[2], normal = atoms[3];
  const std::vector<std::uint32_t> clients = x11::ReadProperty32(
      c, x11::RequestProperty(c, display.root(), atoms[0], XCB_ATOM_WINDOW), XCB_ATOM_WINDOW);
  x11::CountRoundTrip();
  if (normal == XCB_ATOM_NONE) return 0;

  // Windows may vanish during the walk: their reads fail and they are skipped.
  std::vector<xcb_get_property_cookie_t> pending;
  std::vector<std::uint32_t> ours;
  for (std::size_t start = 0; start < clients.size(); start += kWindowsPerBatch) {
    const std::size_t end = std::min(clients.size(), start + kWindowsPerBatch);
    pending.clear();
    for (std::size_t i = start; i < end; ++i)
      pending.push_back(x11::RequestProperty(c, clients[i], pidAtom, XCB_ATOM_ANY));
    x11::CountRoundTrip();
    ours.clear();
    for (std::size_t i = start; i < end; ++i) {
      const std::vector<std::uint32_t> windowPid =
          x11::ReadProperty32(c, pending[i - start], XCB_ATOM_CARDINAL);
      if (!windowPid.empty() && windowPid[0] == pid) ours.push_back(clients[i]);
    }
    if (ours.empty()) continue;
    // Only this process's windows have their type read; the first normal one wins.
    pending.clear();
    for (const std::uint32_t window : ours)
      pending.push_back(x11::RequestProperty(c, window, typeAtom, XCB_ATOM_ANY));
    x11::CountRoundTrip();
    std::uint32_t found = 0;
    for (std::size_t k = 0; k < ours.size(); ++k) {
      const std::vector<std::uint32_t> types = x11::ReadProperty32(c, pending[k], XCB_ATOM_ATOM);
      if (found == 0 && !types.empty() && types[0] == normal) found = ours[k];
    }
    if (found != 0) return found;
  }
  return 0;
}

void ActivateWindow(x11::Connection& display, std::uint32_t window) {
  if (window == 0) return;  // never ask anything about window 0
  xcb_connection_t* c = display.get();
  const xcb_atom_t activeWindow = x11::InternAtoms(c, {{"_NET_ACTIVE_WINDOW", false}})[0];
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = activeWindow;
  // Source indication 0, timestamp 0, no currently active window: all zero.
  xcb_send_event(c, 0, display.root(),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  const std::uint32_t stackAbove[] = {XCB_STACK_MODE_ABOVE};
  // Raise, then map: the order XMapRaised uses.
  xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, stackAbove);
  xcb_map_window(c, window);
  // Errors (a window that is gone) arrive as events on this connection and are dropped with it.
  display.Sync();
}

bool ActivateHostWindow() {
  x11::Connection display;
  if (!display.ok()) {
    Diagnostic("no X display: the window cannot be activated and the barcode is not sent");
    return false;
  }
  ActivateWindow(display, HostWindow);
  return true;
}

}  // namespace wedgesim
