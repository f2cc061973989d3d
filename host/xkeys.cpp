// Key events injected with XTest from a connection of their own.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>

#include "host/xenv.h"

namespace hostkit {

// ---- KeyInjector -------------------------------------------------------------

KeyInjector::KeyInjector(const std::string& display) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (dpy == nullptr) return;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor)) {
    XCloseDisplay(dpy);
    return;
  }
  XDisplayKeycodes(dpy, &minKeycode_, &maxKeycode_);
  display_ = dpy;
}

KeyInjector::~KeyInjector() {
  if (display_ == nullptr) return;
  while (!held_.empty()) Release(held_.back());
  XSync(display_, False);
  XCloseDisplay(display_);
}

bool KeyInjector::InRange(unsigned keycode) const {
  return display_ != nullptr && keycode >= static_cast<unsigned>(minKeycode_) &&
         keycode <= static_cast<unsigned>(maxKeycode_);
}

unsigned KeyInjector::KeycodeOf(const char* keysymName) const {
  if (display_ == nullptr || keysymName == nullptr) return 0;
  KeySym keysym = XStringToKeysym(keysymName);
  if (keysym == NoSymbol) return 0;
  return XKeysymToKeycode(display_, keysym);
}

void KeyInjector::Press(unsigned keycode) {
  if (!InRange(keycode)) return;
  XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
  XFlush(display_);
  held_.push_back(keycode);
}

void KeyInjector::Release(unsigned keycode) {
  if (!InRange(keycode)) return;
  XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
  XFlush(display_);
  auto it = std::find(held_.rbegin(), held_.rend(), keycode);
  if (it != held_.rend()) held_.erase(std::next(it).base());
}

void KeyInjector::Tap(unsigned keycode, unsigned modifierMask) {
  if (display_ == nullptr) return;
  static constexpr std::pair<unsigned, const char*> kModifierKeys[] = {
      {ShiftMask, "Shift_L"}, {ControlMask, "Control_L"}, {Mod1Mask, "Alt_L"}};
  std::vector<unsigned> modifiers;
  for (const auto& [mask, name] : kModifierKeys) {
    if ((modifierMask & mask) != 0) modifiers.push_back(KeycodeOf(name));
  }
  for (unsigned modifier : modifiers) Press(modifier);
  Press(keycode);
  Release(keycode);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) Release(*it);
  Sync();
}

void KeyInjector::Sync() {
  if (display_ != nullptr) XSync(display_, False);
}

}  // namespace hostkit
