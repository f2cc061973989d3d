// Key events injected with XTest from a connection of their own.
#include "host/desktop/keys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <utility>

namespace hostkit {

bool KnownKeysym(const std::string& name) { return XStringToKeysym(name.c_str()) != NoSymbol; }

unsigned KeycodeOf(Display* display, const std::string& keysymName) {
  if (display == nullptr) return 0;
  const KeySym keysym = XStringToKeysym(keysymName.c_str());
  if (keysym == NoSymbol) return 0;
  return XKeysymToKeycode(display, keysym);
}

// ---- KeyInjector -------------------------------------------------------------

KeyInjector::KeyInjector(const std::string& display) {
  UniqueDisplay connection = OpenDisplay(display);
  if (connection == nullptr) return;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(connection.get(), &eventBase, &errorBase, &major, &minor)) return;
  XDisplayKeycodes(connection.get(), &minKeycode_, &maxKeycode_);
  display_ = std::move(connection);
}

KeyInjector::~KeyInjector() {
  if (display_ == nullptr) return;
  while (!held_.empty()) Release(held_.back());
  XSync(display_.get(), False);
}

bool KeyInjector::InRange(unsigned keycode) const {
  return display_ != nullptr && keycode >= static_cast<unsigned>(minKeycode_) &&
         keycode <= static_cast<unsigned>(maxKeycode_);
}

unsigned KeyInjector::KeycodeOf(const char* keysymName) const {
  if (keysymName == nullptr) return 0;
  return hostkit::KeycodeOf(display_.get(), keysymName);
}

void KeyInjector::Queue(unsigned keycode, bool down) {
  if (!InRange(keycode)) return;
  XTestFakeKeyEvent(display_.get(), keycode, down ? True : False, CurrentTime);
  if (down) {
    held_.push_back(keycode);
    return;
  }
  auto it = std::find(held_.rbegin(), held_.rend(), keycode);
  if (it != held_.rend()) held_.erase(std::next(it).base());
}

void KeyInjector::Press(unsigned keycode) {
  Queue(keycode, true);
  if (display_ != nullptr) XFlush(display_.get());
}

void KeyInjector::Release(unsigned keycode) {
  Queue(keycode, false);
  if (display_ != nullptr) XFlush(display_.get());
}

void KeyInjector::Tap(unsigned keycode, unsigned modifierMask) {
  if (display_ == nullptr) return;
  static constexpr std::pair<unsigned, const char*> kModifierKeys[] = {{ShiftMask, "Shift_L"},
                                                                       {ControlMask, "Control_L"},
                                                                       {Mod1Mask, "Alt_L"},
                                                                       {Mod4Mask, "Super_L"}};
  std::vector<unsigned> modifiers;
  for (const auto& [mask, name] : kModifierKeys) {
    if ((modifierMask & mask) != 0) modifiers.push_back(KeycodeOf(name));
  }
  for (unsigned modifier : modifiers) Queue(modifier, true);
  Queue(keycode, true);
  Queue(keycode, false);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) Queue(*it, false);
  Sync();
}

void KeyInjector::Sync() {
  if (display_ != nullptr) XSync(display_.get(), False);
}

}  // namespace hostkit
