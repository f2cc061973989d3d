// Finding a window to grab by the pid of its application or by its title,
// among the windows the window manager lists (_NET_CLIENT_LIST), and telling
// which windows cover one.
#include <algorithm>
#include <cstring>
#include <map>
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

namespace {

// The child of the root that holds `window` (a window manager's frame, or the
// window itself when unmanaged); none when it is gone.
xcb_window_t TopLevel(ScreenGrabber::State& state, xcb_window_t window) {
  for (int depth = 0; depth < 64 && window != XCB_WINDOW_NONE; ++depth) {
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(state.connection, xcb_query_tree(state.connection, window), nullptr));
    if (tree == nullptr) return XCB_WINDOW_NONE;
    if (tree->parent == state.screen->root) return window;
    window = tree->parent;
  }
  return XCB_WINDOW_NONE;
}

bool Overlap(const Rect& a, const Rect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

}  // namespace

std::vector<std::string> ScreenGrabber::WindowsCovering(std::uint32_t window) {
  State& state = *state_;
  xcb_connection_t* c = state.connection;
  std::vector<std::string> covering;
  const xcb_window_t top = TopLevel(state, window);
  XcbReply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
  XcbReply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
      c, xcb_translate_coordinates(c, window, state.screen->root, 0, 0), nullptr));
  XcbReply<xcb_query_tree_reply_t> stack(
      xcb_query_tree_reply(c, xcb_query_tree(c, state.screen->root), nullptr));
  if (top == XCB_WINDOW_NONE || geometry == nullptr || place == nullptr || stack == nullptr)
    return covering;
  const Rect seen{place->dst_x, place->dst_y, geometry->width, geometry->height};

  // Managed windows by the top-level that holds them, to name a frame by its
  // application window's title.
  const xcb_atom_t netName = state.Atom("_NET_WM_NAME");
  const xcb_atom_t utf8 = state.Atom("UTF8_STRING");
  std::map<xcb_window_t, xcb_window_t> clientOf;
  for (const std::uint32_t client :
       state.List32(state.screen->root, state.Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW))
    clientOf.emplace(TopLevel(state, client), client);

  // The root's children come bottom to top: those after the window's own are above it.
  const xcb_window_t* children = xcb_query_tree_children(stack.get());
  const xcb_window_t* end = children + xcb_query_tree_children_length(stack.get());
  for (const xcb_window_t* above = std::find(children, end, top); above != end; ++above) {
    if (*above == top) continue;
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, *above), nullptr));
    XcbReply<xcb_get_geometry_reply_t> box(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, *above), nullptr));
    if (attributes == nullptr || box == nullptr ||
        attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
        attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
      continue;
    const int border = 2 * box->border_width;
    if (!Overlap(seen, {box->x, box->y, box->width + border, box->height + border})) continue;
    const auto client = clientOf.find(*above);
    std::string title =
        Title(state, client != clientOf.end() ? client->second : *above, netName, utf8);
    covering.push_back(title.empty() ? WindowText(*above) : "'" + title + "'");
  }
  return covering;
}

}  // namespace image
