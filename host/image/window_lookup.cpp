// Finding a window to grab by the pid of its application or by its title,
// among the windows the window manager lists (_NET_CLIENT_LIST).
#include <cstring>
#include <utility>

#include "host/image/image_error.h"
#include "host/image/screen_grab.h"
#include "host/image/screen_state.h"

namespace image {
namespace {

// Enough for any title, and for a client list of a thousand windows.
constexpr std::uint32_t kMaxPropertyWords = 1u << 16;

}  // namespace

xcb_atom_t ScreenGrabber::State::Atom(const char* name) {
  XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::vector<std::uint32_t> ScreenGrabber::State::List32(xcb_window_t window, xcb_atom_t property,
                                                        xcb_atom_t type) {
  std::vector<std::uint32_t> values;
  if (property == XCB_ATOM_NONE) return values;
  XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, type, 0, kMaxPropertyWords),
      nullptr));
  if (reply == nullptr || reply->type != type || reply->format != 32) return values;
  const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  values.assign(items, items + xcb_get_property_value_length(reply.get()) / 4);
  return values;
}

namespace {

std::vector<std::uint32_t> ManagedWindows(ScreenGrabber::State& state, const char* purpose) {
  const xcb_atom_t clientList = state.Atom("_NET_CLIENT_LIST");
  std::vector<std::uint32_t> clients =
      state.List32(state.screen->root, clientList, XCB_ATOM_WINDOW);
  if (clients.empty())
    throw Error(Failure::NoWindow, std::string("no window manager lists its windows on '") +
                                       state.display +
                                       "' (_NET_CLIENT_LIST), so no window can be found " +
                                       purpose + "; give the window's id instead");
  return clients;
}

// A title as text: _NET_WM_NAME (UTF-8) when set, else WM_NAME.
std::string Title(ScreenGrabber::State& state, xcb_window_t window, xcb_atom_t netName,
                  xcb_atom_t utf8) {
  for (const auto& [property, type] :
       {std::pair<xcb_atom_t, xcb_atom_t>{netName, utf8},
        std::pair<xcb_atom_t, xcb_atom_t>{XCB_ATOM_WM_NAME, XCB_ATOM_ANY}}) {
    if (property == XCB_ATOM_NONE) continue;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        state.connection,
        xcb_get_property(state.connection, 0, window, property, type, 0, kMaxPropertyWords),
        nullptr));
    if (reply == nullptr || reply->format != 8 || reply->type == XCB_ATOM_NONE) continue;
    const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(text, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  }
  return {};
}

}  // namespace

std::uint32_t ScreenGrabber::WindowOfPid(std::uint32_t pid) {
  State& state = *state_;
  const std::vector<std::uint32_t> clients = ManagedWindows(state, "by pid");
  const xcb_atom_t pidAtom = state.Atom("_NET_WM_PID");
  const xcb_atom_t typeAtom = state.Atom("_NET_WM_WINDOW_TYPE");
  const xcb_atom_t normal = state.Atom("_NET_WM_WINDOW_TYPE_NORMAL");
  for (const std::uint32_t window : clients) {
    const std::vector<std::uint32_t> owner = state.List32(window, pidAtom, XCB_ATOM_CARDINAL);
    if (owner.empty() || owner[0] != pid) continue;
    const std::vector<std::uint32_t> types = state.List32(window, typeAtom, XCB_ATOM_ATOM);
    if (!types.empty() && types[0] == normal && normal != XCB_ATOM_NONE) return window;
  }
  throw Error(Failure::NoWindow, "process " + std::to_string(pid) +
                                     " has no application window on '" + state.display +
                                     "' (a managed window with its _NET_WM_PID, of type NORMAL)");
}

std::uint32_t ScreenGrabber::WindowNamed(const std::string& name) {
  State& state = *state_;
  const std::vector<std::uint32_t> clients = ManagedWindows(state, "by title");
  const xcb_atom_t netName = state.Atom("_NET_WM_NAME");
  const xcb_atom_t utf8 = state.Atom("UTF8_STRING");
  std::vector<std::pair<std::uint32_t, std::string>> containing;
  for (const std::uint32_t window : clients) {
    std::string title = Title(state, window, netName, utf8);
    if (title == name) return window;
    if (!name.empty() && title.find(name) != std::string::npos)
      containing.emplace_back(window, std::move(title));
  }
  if (containing.size() == 1) return containing[0].first;
  std::string message = "no window on '" + state.display + "' is titled '" + name + "'";
  if (!containing.empty()) {
    message += "; several titles contain it:";
    for (const auto& [window, title] : containing)
      message += " " + WindowText(window) + " '" + title + "'";
  }
  throw Error(Failure::NoWindow, message);
}

}  // namespace image
