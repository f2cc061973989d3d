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

void KeyInjector::Queue(unsigned keycode, bool down) {
  if (!InRange(keycode)) return;
  XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime);
  if (down) {
    held_.push_back(keycode);
    return;
  }
  auto it = std::find(held_.rbegin(), held_.rend(), keycode);
  if (it != held_.rend()) held_.erase(std::next(it).base());
}

void KeyInjector::Press(unsigned keycode) {
  Queue(keycode, true);
  if (display_ != nullptr) XFlush(display_);
}

void KeyInjector::Release(unsigned keycode) {
  Queue(keycode, false);
  if (display_ != nullptr) XFlush(display_);
}

void KeyInjector::Tap(unsigned keycode, unsigned modifierMask) {
  if (display_ == nullptr) return;
  static constexpr std::pair<unsigned, const char*> kModifierKeys[] = {
      {ShiftMask, "Shift_L"}, {ControlMask, "Control_L"}, {Mod1Mask, "Alt_L"}};
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
  if (display_ != nullptr) XSync(display_, False);
}

}  // namespace hostkit
