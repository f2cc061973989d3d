#include "x11/connection.h"

#include <X11/Xlib.h>

#include <mutex>

namespace wedgesim::x11 {

std::atomic<unsigned long> RoundTrips{0};

void InitializeXlibThreads() { XInitThreads(); }

void CountRoundTrip() { RoundTrips.fetch_add(1, std::memory_order_relaxed); }

namespace {

// NOTE: connecting reads the authority file through libXau, which keeps its
// file name in a static buffer: two of our threads connecting at once (the
// two listeners at Open) would race on it.
std::mutex connectMutex;
}  // namespace

Connection::Connection() {
  int screenNumber = 0;
  {
    std::lock_guard lock(connectMutex);
    connection_ = xcb_connect(nullptr, &screenNumber);
  }
  if (xcb_connection_has_error(connection_)) return;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem > 0) screen_ = it.data;
}

Connection::~Connection() {
  // xcb_connect returns an error object, never null; it must be disconnected too.
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

bool Connection::Sync() {
  if (!ok()) return false;
  CountRoundTrip();
  Owned<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  return reply != nullptr;
}

bool Check(xcb_connection_t* connection, xcb_void_cookie_t cookie, std::uint8_t* errorCode) {
  CountRoundTrip();
  Owned<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
  if (errorCode != nullptr) *errorCode = error ? error->error_code : 0;
  return error == nullptr && !xcb_connection_has_error(connection);
}

std::vector<std::uint8_t> CheckAll(xcb_connection_t* connection,
                                   const std::vector<xcb_void_cookie_t>& cookies) {
  // Checking the first one waits for the server to have handled them all, so
  // the others are answered without another wait.
  CountRoundTrip();
  std::vector<std::uint8_t> errors;
  errors.reserve(cookies.size());
  for (const xcb_void_cookie_t cookie : cookies) {
    Owned<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
    errors.push_back(
        error ? error->error_code
              : (xcb_connection_has_error(connection) ? std::uint8_t{255} : std::uint8_t{0}));
  }
  return errors;
}

std::vector<xcb_atom_t> InternAtoms(xcb_connection_t* connection,
                                    const std::vector<AtomName>& names) {
  std::vector<xcb_intern_atom_cookie_t> cookies;
  cookies.reserve(names.size());
  for (const AtomName& atom : names)
    cookies.push_back(xcb_intern_atom(
        connection, atom.onlyIfExists ? 1 : 0,
        static_cast<std::uint16_t>(std::char_traits<char>::length(atom.name)), atom.name));
  CountRoundTrip();
  std::vector<xcb_atom_t> atoms;
  atoms.reserve(names.size());
  for (const auto& cookie : cookies) {
    Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    atoms.push_back(reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE));
  }
  return atoms;
}

xcb_get_property_cookie_t RequestProperty(xcb_connection_t* connection, xcb_window_t window,
                                          xcb_atom_t property, xcb_atom_t type) {
  // A length of 2^32-1 four-byte units asks for the whole property.
  return xcb_get_property(connection, 0, window, property, type, 0, UINT32_MAX);
}

std::vector<std::uint32_t> ReadProperty32(xcb_connection_t* connection,
                                          xcb_get_property_cookie_t cookie, xcb_atom_t type) {
  xcb_generic_error_t* rawError = nullptr;
  Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, &rawError));
  Owned<xcb_generic_error_t> error(rawError);
  if (!reply || reply->format != 32 || reply->type != type) return {};
  const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int count = xcb_get_property_value_length(reply.get()) / 4;
  return std::vector<std::uint32_t>(items, items + count);
}

}  // namespace wedgesim::x11
