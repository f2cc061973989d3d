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

namespace wedgesim::x11 {

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
// The same for requests sent together: one wait for all of them. The error
// code of each (0 when it succeeded), in order.
std::vector<std::uint8_t> CheckAll(xcb_connection_t* connection,
                                   const std::vector<xcb_void_cookie_t>& cookies);

// The bit of an event's response type that marks an event another client
// sent (XSendEvent): such key events count like the server's own.
inline constexpr std::uint8_t kSentByAnotherClient = 0x80;
// An event's type without that bit; errors are type 0.
inline std::uint8_t EventType(const xcb_generic_event_t& event) {
  return static_cast<std::uint8_t>(event.response_type & ~kSentByAnotherClient);
}

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
// is gone, or the property is missing, empty, not of format 32 or not of
// `type` (CARDINAL, WINDOW, ATOM...).
std::vector<std::uint32_t> ReadProperty32(xcb_connection_t* connection,
                                          xcb_get_property_cookie_t cookie, xcb_atom_t type);

// XInitThreads, called at every Open as the host's Xlib may expect: the
// add-in's own connections are XCB and need no Xlib locking.
void InitializeXlibThreads();

// How often the add-in has waited for the server (a round trip or a batch of
// pipelined requests). Read by benchmarks.
extern std::atomic<unsigned long> RoundTrips;
// Counts one wait, for callers that collect pipelined replies themselves.
void CountRoundTrip();

}  // namespace wedgesim::x11
