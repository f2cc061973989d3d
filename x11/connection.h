// The one layer every X operation of the add-in goes through. Connections are
// pure XCB: an error caused by one of our requests comes back to us (as a
// checked reply or an event on our own connection) and never reaches the
// process-wide Xlib error handlers of the host, and a lost server marks the
// connection as failed instead of exiting the process.
#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace x11 {

// Frees what XCB allocated for a reply, an error or an event.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

// A display connection of its own: opened in the constructor (the display
// named by DISPLAY), closed in the destructor.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // False as well when DISPLAY names a screen the server does not have.
  bool ok() const {
    return connection_ != nullptr && !xcb_connection_has_error(connection_) && screen_ != nullptr;
  }
  xcb_connection_t* get() const { return connection_; }
  const xcb_screen_t* screen() const { return screen_; }
  xcb_window_t root() const { return screen_ != nullptr ? screen_->root : XCB_NONE; }
  int fd() const { return xcb_get_file_descriptor(connection_); }

  // Waits until the server has handled every request sent so far.
  bool Sync();

 private:
  xcb_connection_t* connection_ = nullptr;
  const xcb_screen_t* screen_ = nullptr;
};

// Sends a checked request's cookie to the server and waits: true when it
// succeeded. The error, if any, is returned through *errorCode and absorbed.
bool Check(xcb_connection_t* connection, xcb_void_cookie_t cookie,
           std::uint8_t* errorCode = nullptr);

struct AtomName {
  const char* name;
  bool onlyIfExists;  // then XCB_ATOM_NONE when no client has created it
};
// Interns several atoms in one round trip; XCB_ATOM_NONE for failures.
std::vector<xcb_atom_t> InternAtoms(xcb_connection_t* connection,
                                    const std::vector<AtomName>& names);

// A whole property (offset 0, every item), requested now, read later: many
// can be in flight at once.
xcb_get_property_cookie_t RequestProperty(xcb_connection_t* connection, xcb_window_t window,
                                          xcb_atom_t property, xcb_atom_t type);
// The 32-bit items of the reply, or nothing when the read failed, the window
// is gone, or the property is missing, empty or not of format 32.
std::vector<std::uint32_t> ReadProperty32(xcb_connection_t* connection,
                                          xcb_get_property_cookie_t cookie);

// The name of the unshifted symbol of a key ("Undef"-free: empty when the key
// has no symbol or the symbol has no name).
std::string KeySymbolName(xcb_connection_t* connection, std::uint32_t keycode);
// The unshifted keysym of a key, or 0.
std::uint32_t KeySymbol(xcb_connection_t* connection, std::uint32_t keycode);

// How often the add-in has waited for the server (a round trip or a batch of
// pipelined requests). Read by benchmarks.
extern std::atomic<unsigned long> RoundTrips;
// Counts one wait, for callers that collect pipelined replies themselves.
void CountRoundTrip();

}  // namespace x11
