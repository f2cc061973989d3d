#include "hotkey/listener.h"

#include "abi/diagnostics.h"
#include "x11/keyboard.h"

namespace wedgesim {

namespace {

// While another client holds a variant of our key (another program, or
// another instance of the host), it is tried again this often, so the
// hotkey works soon after the key is free.
constexpr auto kGrabRetryInterval = std::chrono::milliseconds(250);

}  // namespace

HotkeyListener::HotkeyListener(int slot, Hotkey hotkey, std::uint32_t window, bool selectPresses,
                               std::uint32_t locks)
    : slot_(slot), hotkey_(hotkey), window_(window), locks_(locks) {
  if (!display_.ok()) {
    Diagnostic("hotkey %d: no X display", slot);
    return;
  }
  xcb_connection_t* c = display_.get();
  if (selectPresses) {
    // Presses that reach the window without a grab come here too; they
    // scan only when their modifiers are exactly a hotkey's (HotkeyForPress).
    const std::uint32_t keyPresses = XCB_EVENT_MASK_KEY_PRESS;
    std::uint8_t error = 0;
    if (!x11::Check(c,
                    xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &keyPresses),
                    &error)) {
      Diagnostic("hotkey %d: the host window 0x%x is gone (X error %u)", slot, window, error);
      return;
    }
  }
  if (locks_ == 0) locks_ = x11::LockModifiers(c);
  // A stored mask may hold lock bits (a capture with NumLock on) and button
  // bits, which no key grab can name: the key works the same whatever they were.
  const auto base = static_cast<std::uint16_t>(static_cast<std::uint32_t>(hotkey.modifiers) &
                                               kModifierBits & ~locks_);
  for (const std::uint16_t combination : LockCombinations(locks_))
    variants_.push_back({static_cast<std::uint16_t>(base | combination), Grab::Refused});
  GrabVariants(true);
  ok_ = !lost();
}

HotkeyListener::~HotkeyListener() = default;  // closing the connection drops any grab left

void HotkeyListener::GrabVariants(bool firstTime) {
  xcb_connection_t* c = display_.get();
  std::vector<xcb_void_cookie_t> cookies;
  std::vector<Variant*> tried;
  for (Variant& variant : variants_) {
    if (variant.state != Grab::Refused) continue;
    cookies.push_back(xcb_grab_key_checked(c, 0, window_, variant.modifiers,
                                           static_cast<xcb_keycode_t>(hotkey_.keycode),
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    tried.push_back(&variant);
  }
  if (cookies.empty()) return;
  const std::vector<std::uint8_t> errors = x11::CheckAll(c, cookies);
  for (std::size_t i = 0; i < tried.size(); ++i) {
    Variant& variant = *tried[i];
    const bool wasRefused = variant.state == Grab::Refused;
    variant.state = errors[i] == 0            ? Grab::Held
                    : errors[i] == XCB_ACCESS ? Grab::Refused
                                              : Grab::Failed;
    if (variant.state == Grab::Held && !firstTime && wasRefused)
      Diagnostic("hotkey %d: keycode %d with modifiers 0x%x is free now and grabbed", slot_,
                 hotkey_.keycode, variant.modifiers);
    if (variant.state != Grab::Held && firstTime)
      Diagnostic("hotkey %d: grab of keycode %d with modifiers 0x%x refused (%s)", slot_,
                 hotkey_.keycode, variant.modifiers,
                 variant.state == Grab::Refused
                     ? "another program holds it; trying again while open"
                     : "X error");
  }
  nextRetry_ = Clock::now() + kGrabRetryInterval;
}

bool HotkeyListener::retrying() const {
  if (released_ || lost()) return false;
  for (const Variant& variant : variants_)
    if (variant.state == Grab::Refused) return true;
  return false;
}

void HotkeyListener::RetryRefused() {
  if (retrying()) GrabVariants(false);
}

void HotkeyListener::BeginRelease() {
  if (released_) return;
  released_ = true;
  if (!ok_ || lost()) return;
  xcb_connection_t* c = display_.get();
  for (Variant& variant : variants_) {
    if (variant.state != Grab::Held) continue;
    variant.state = Grab::Refused;
    confirming_ = true;
  }
  if (!confirming_) return;
  // One request lets go of every combination: an ungrab with AnyModifier
  // releases this connection's grabs of the key, and only those.
  xcb_ungrab_key(c, static_cast<xcb_keycode_t>(hotkey_.keycode), window_, XCB_MOD_MASK_ANY);
  // Any reply confirms that the server has handled the ungrab before it;
  // asked for now, so several listeners wait for their replies together.
  confirmation_ = xcb_get_input_focus(c);
  xcb_flush(c);
}

void HotkeyListener::FinishRelease() {
  // Once it returns, another client can grab the key.
  if (!confirming_) return;
  confirming_ = false;
  const x11::Owned<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(display_.get(), confirmation_, nullptr));
}

}  // namespace wedgesim
