// The host side's X connections: one owner for every Display* the desktop,
// the tests, the benchmarks and the command open, and the root-window reads
// they share.
//
// X error handling: nothing on the host side installs an Xlib error handler.
// Every request is made so that it cannot fail on a healthy server (windows are
// checked for viewability before focusing, keycodes are range-checked before
// XTest), because Xlib's default handler would end the process. Tests that want
// to provoke errors install their own handler.
//
// Threads: each object owns its own connection; a connection must only be used
// from one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

// Xlib's own declaration, repeated so that including this header does not pull
// in Xlib's macros (None, Bool, Status, IsViewable, ...) everywhere.
typedef struct _XDisplay Display;

namespace hostkit {

struct DisplayCloser {
  void operator()(Display* display) const noexcept;  // XCloseDisplay
};
// An X connection, closed when its owner goes.
using UniqueDisplay = std::unique_ptr<Display, DisplayCloser>;

// XOpenDisplay of `name`, or of the display DISPLAY names when `name` is empty;
// null when it cannot be opened.
UniqueDisplay OpenDisplay(const std::string& name = {});

// Reads a CARDINAL, WINDOW or ATOM property of format 32 as a list. Empty when
// the property is missing or has another type or format. The window must exist.
std::vector<unsigned long> ReadListProperty(Display* display, unsigned long window,
                                            const char* property);

}  // namespace hostkit
