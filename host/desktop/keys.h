// Keys by name and key events injected with XTest, as a person at the
// keyboard would press them.
#pragma once

#include <string>
#include <vector>

#include "host/desktop/display.h"

namespace hostkit {

// Whether X knows the keysym name at all (XStringToKeysym; no display needed).
bool KnownKeysym(const std::string& name);

// XStringToKeysym + XKeysymToKeycode: the key of `display` that produces the
// keysym, 0 when the name is unknown or no key of this display produces it.
unsigned KeycodeOf(Display* display, const std::string& keysymName);

// Injects key events with XTest through a connection of its own. Keys still held when the injector
// is destroyed are released, so a failing test cannot leave a stuck modifier behind.
class KeyInjector {
 public:
  explicit KeyInjector(const std::string& display);  // check ok() afterwards
  ~KeyInjector();

  KeyInjector(const KeyInjector&) = delete;
  KeyInjector& operator=(const KeyInjector&) = delete;

  bool ok() const { return display_ != nullptr; }

  // KeycodeOf on this injector's display.
  unsigned KeycodeOf(const char* keysymName) const;

  // Out-of-range keycodes (including 0) are ignored: XTest would answer with BadValue.
  void Press(unsigned keycode);
  void Release(unsigned keycode);

  // Presses the modifiers of modifierMask (ShiftMask: Shift_L, ControlMask: Control_L, Mod1Mask:
  // Alt_L, Mod4Mask: Super_L; other bits are ignored), then the key; releases the key, then the
  // modifiers in reverse order; then waits for the server (XSync). All of it goes in one write, so
  // the server never sees the key held long enough to repeat it, however loaded the machine.
  void Tap(unsigned keycode, unsigned modifierMask = 0);

  void Sync();

 private:
  bool InRange(unsigned keycode) const;
  // Queues one fake key event without flushing.
  void Queue(unsigned keycode, bool down);

  UniqueDisplay display_;
  int minKeycode_ = 0, maxKeycode_ = 0;
  std::vector<unsigned> held_;
};

}  // namespace hostkit
