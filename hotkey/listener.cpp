#include "hotkey/listener.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "component/diagnostics.h"
#include "delivery/barcode_event.h"
#include "delivery/host_window.h"
#include "driver/settings.h"
#include "hotkey/hotkeys.h"
#include "x11/connection.h"

std::atomic<bool> ListenerStopFlag{false};

namespace {

// An eventfd that stays readable once signalled: both listeners poll it.
class WakeSignal {
 public:
  WakeSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  ~WakeSignal() { close(fd_); }
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;
  int fd() const { return fd_; }
  void Signal() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(fd_, &one, sizeof one);
  }

 private:
  int fd_;
};

// Start waits until every listener has made its grab, so a key pressed right
// after Open is never missed.
class StartupGate {
 public:
  explicit StartupGate(int pending) : pending_(pending) {}
  void Arrive() {
    std::lock_guard lock(mutex_);
    --pending_;
    ready_.notify_all();
  }
  void Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, timeout, [this] { return pending_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  int pending_;
};

struct ListenerConfig {
  int slot;
  Hotkey grabbed;
  IAddInDefBase*
      connection;  // fixed at start; Close clearing ActiveHostConnection does not reach it
  int wakeFd;
  std::shared_ptr<StartupGate>
      gate;  // shared: a late listener may arrive after Start gave up waiting
};

struct ListenerPair {
  WakeSignal wake;
  std::thread threads[2];
};

std::mutex controlMutex;  // Start and Stop may come from several host threads
ListenerPair* running = nullptr;
std::atomic<int> runningCount{0};

void Deliver(const ListenerConfig& config) {
  const BarcodeSetting setting = ReadBarcodeSetting(config.slot);
  if (setting.text.empty()) return;
  const std::wstring data = ComposeBarcodeData(setting.text, setting.base64);
  if (ListenerStopFlag.load(std::memory_order_acquire)) return;  // Close has begun
  PostExternalEvent(config.connection, kDeviceName, kBarcodeEventName, data.c_str());
}

// Selects key presses on the host window and grabs the hotkey: exactly the
// stored keycode and mask, asynchronous modes, no lock-key variants.
bool Grab(const x11::Connection& display, const ListenerConfig& config, bool* grabbed) {
  xcb_connection_t* c = display.get();
  const std::uint32_t keyPresses = XCB_EVENT_MASK_KEY_PRESS;
  const xcb_void_cookie_t select =
      xcb_change_window_attributes_checked(c, HostWindow, XCB_CW_EVENT_MASK, &keyPresses);
  const xcb_void_cookie_t grab = xcb_grab_key_checked(
      c, 0, HostWindow, static_cast<std::uint16_t>(config.grabbed.modifiers),
      static_cast<xcb_keycode_t>(config.grabbed.keycode), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  std::uint8_t selectError = 0, grabError = 0;
  const bool selected = x11::Check(c, select, &selectError);
  *grabbed = x11::Check(c, grab, &grabError);
  if (!selected)
    Diagnostic("listener %d: the host window 0x%x is gone (X error %u)", config.slot, HostWindow,
               selectError);
  if (!*grabbed)
    Diagnostic("listener %d: grab of keycode %d with modifiers 0x%x refused (%s)", config.slot,
               config.grabbed.keycode, config.grabbed.modifiers,
               grabError == XCB_ACCESS ? "another program holds this key" : "X error");
  return selected || *grabbed;
}

int ListenForHotkey(const ListenerConfig& config) {
  x11::Connection display;
  if (!display.ok()) {
    Diagnostic("listener %d: no X display", config.slot);
    config.gate->Arrive();
    return 1;
  }
  if (HostWindow == 0) {
    Diagnostic("listener %d: no host window, nothing grabbed", config.slot);
    config.gate->Arrive();
    return 0;
  }
  bool grabbed = false;
  const bool listening = Grab(display, config, &grabbed);
  config.gate->Arrive();
  if (!listening) return 0;
  Diagnostic("listener %d started: keycode %d, modifiers 0x%x", config.slot, config.grabbed.keycode,
             config.grabbed.modifiers);

  xcb_connection_t* c = display.get();
  pollfd waits[2] = {{display.fd(), POLLIN, 0}, {config.wakeFd, POLLIN, 0}};
  while (!ListenerStopFlag.load(std::memory_order_acquire)) {
    // poll() sees only the socket: drain what XCB has already buffered first.
    while (x11::Owned<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
      if (ListenerStopFlag.load(std::memory_order_acquire)) break;
      if ((event->response_type & 0x7F) != XCB_KEY_PRESS) continue;  // errors included
      const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
      // The keycode alone decides; the modifier state of the press is not compared.
      if (press->detail == CurrentKeycode(config.slot)) Deliver(config);
    }
    if (xcb_connection_has_error(c)) {
      Diagnostic("listener %d: the X server connection was lost", config.slot);
      return 0;
    }
    if (ListenerStopFlag.load(std::memory_order_acquire)) break;
    if (poll(waits, 2, -1) < 0 && errno != EINTR) break;
    if (waits[1].revents != 0) break;  // woken to stop
  }
  if (grabbed) {
    // Released here, on the connection that holds it, and confirmed by a
    // round trip: once Stop has joined us, another client can grab the key.
    xcb_ungrab_key(c, static_cast<xcb_keycode_t>(config.grabbed.keycode), HostWindow,
                   static_cast<std::uint16_t>(config.grabbed.modifiers));
    display.Sync();
  }
  Diagnostic("listener %d stopped", config.slot);
  return 0;
}

void RunListener(const ListenerConfig& config) noexcept {
  runningCount.fetch_add(1);
  try {
    ListenForHotkey(config);
  } catch (...) {
    Diagnostic("listener %d ended by an exception", config.slot);
  }
  runningCount.fetch_sub(1);
}

void StopLocked() {
  if (running == nullptr) return;
  running->wake.Signal();
  for (std::thread& thread : running->threads) {
    if (!thread.joinable()) continue;
    // A host that closes the device from inside its event handler calls us
    // on the listener's own thread: that one cannot be joined, only released.
    if (thread.get_id() == std::this_thread::get_id())
      thread.detach();
    else
      thread.join();
  }
  delete running;
  running = nullptr;
}

}  // namespace

void StartHotkeyListeners() noexcept {
  try {
    std::lock_guard lock(controlMutex);
    StopLocked();
    XInitThreads();
    IAddInDefBase* connection = ActiveHostConnection.load();
    LoadHotkeys(connection);
    ListenerStopFlag.store(false, std::memory_order_release);
    auto pair = std::make_unique<ListenerPair>();
    auto gate = std::make_shared<StartupGate>(2);
    for (int slot = 1; slot <= 2; ++slot) {
      const ListenerConfig config{slot, CurrentHotkey(slot), connection, pair->wake.fd(), gate};
      try {
        pair->threads[slot - 1] = std::thread(RunListener, config);
      } catch (const std::exception& error) {
        Diagnostic("listener %d could not be started: %s", slot, error.what());
        gate->Arrive();
      }
    }
    gate->Wait(std::chrono::seconds(5));
    running = pair.release();
  } catch (const std::exception& error) {
    Diagnostic("the hotkey listeners could not be started: %s", error.what());
  }
}

void StopHotkeyListeners() noexcept {
  ListenerStopFlag.store(true, std::memory_order_release);
  try {
    std::lock_guard lock(controlMutex);
    StopLocked();
  } catch (...) {
    Diagnostic("stopping the hotkey listeners failed");
  }
}

int RunningHotkeyListeners() noexcept { return runningCount.load(); }
