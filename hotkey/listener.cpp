#include "hotkey/listener.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "abi/diagnostics.h"
#include "delivery/barcode_event.h"
#include "delivery/host_window.h"
#include "driver/settings.h"
#include "hotkey/hotkeys.h"
#include "x11/connection.h"

namespace {

// An eventfd: the stop signal stays readable once written, so both listeners
// see it; a retry signal is read back by the one listener that owns it.
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
  void Clear() const {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t read = ::read(fd_, &count, sizeof count);
  }

 private:
  int fd_;
};

// Everything one start's pair of listeners shares. The control holds it while
// the pair runs, and each listener holds it too, so a listener that Stop could
// not join (it is the calling thread, or the host holds it up inside its event
// slot) never sees its stop flag or wake signal freed under it.
struct ListenerPair {
  WakeSignal wake;
  // One a listener: a listener of an earlier start that has just released a
  // key tells the running pair to try its grabs again at once.
  WakeSignal keyReleased[2];
  std::atomic<bool> stopFlag{false};
  std::thread threads[2];

  // Start waits until every listener has made its grab, so a key pressed
  // right after Open is never missed; Stop waits until they have ended.
  void Arrive() {
    std::lock_guard lock(mutex);
    --pendingGrabs;
    changed.notify_all();
  }
  void Finish() {
    std::lock_guard lock(mutex);
    ++finished;
    changed.notify_all();
  }
  // Counts the listeners inside the host's event slot: only those can be held
  // up by the host for as long as it likes.
  void EnterHost(int step) {
    std::lock_guard lock(mutex);
    inHost += step;
    changed.notify_all();
  }
  void WaitForGrabs(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, timeout, [this] { return pendingGrabs <= 0; });
  }
  // Waits until `count` listeners other than the caller have ended. Those
  // inside the host's event slot may be held there for as long as the host
  // likes: after `hostTimeout` they are left behind. The others are only
  // releasing their keys and are waited for up to `timeout`.
  // `callerIsListener`: the caller is a listener of this pair, so it is in
  // the host's slot itself and counted in inHost.
  bool WaitFinished(int count, bool callerIsListener, std::chrono::milliseconds hostTimeout,
                    std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    if (changed.wait_for(lock, hostTimeout, [&] { return finished >= count; })) return true;
    changed.wait_for(lock, timeout - hostTimeout,
                     [&] { return finished + inHost - (callerIsListener ? 1 : 0) >= count; });
    return finished >= count;
  }

  std::mutex mutex;
  std::condition_variable changed;
  int pendingGrabs = 2;
  int finished = 0;
  int inHost = 0;
};

struct ListenerConfig {
  int slot;
  Hotkey grabbed;
  // Fixed at start; Close clearing ActiveHostConnection does not reach it.
  IAddInDefBase* connection;
  std::shared_ptr<ListenerPair> pair;
};

// Stop gives a listener inside the host's event slot this long to end.
// Normally it takes well under a millisecond; only a host that blocks there
// until the thread now stopping answers would hold it up, and waiting longer
// could not help.
constexpr auto kHostSlotTimeout = std::chrono::milliseconds(2000);
// Any other listener is only releasing its key on a busy machine: it is waited
// for, up to this bound for an X server that no longer answers.
constexpr auto kStopTimeout = std::chrono::milliseconds(30000);

std::mutex startMutex;    // one start at a time; Stop never takes it
std::mutex controlMutex;  // guards Running() and the creation of its threads

// The running pair. Never destroyed, like the rest of the library's state: a
// host may exit with the device open, and destroying a pair whose threads were
// never joined at exit would abort the process.
std::shared_ptr<ListenerPair>& Running() {
  static auto* running = new std::shared_ptr<ListenerPair>;
  return *running;
}

// A listener retired while the host held it in its event slot (the host
// opened the device again from its handler) still holds its key when the new
// pair starts; the new listener waiting for that key need not wait for its
// next timed retry.
void TellRunningPairAKeyIsFree(const std::shared_ptr<ListenerPair>& retired) {
  std::shared_ptr<ListenerPair> running;
  {
    std::lock_guard lock(controlMutex);
    running = Running();
  }
  if (!running || running == retired) return;
  for (const WakeSignal& signal : running->keyReleased) signal.Signal();
}

void Deliver(const ListenerConfig& config) {
  const BarcodeSetting setting = ReadBarcodeSetting(config.slot);
  if (setting.text.empty()) return;
  const std::wstring data = ComposeBarcodeData(setting.text, setting.base64);
  if (config.pair->stopFlag.load(std::memory_order_acquire)) return;  // Close has begun
  config.pair->EnterHost(1);
  PostExternalEvent(config.connection, kDeviceName, kBarcodeEventName, data.c_str());
  config.pair->EnterHost(-1);
}

// While another client holds our key (another program, or another instance
// of the host), the grab is tried again this often, so the hotkey works soon
// after the key is free. A listener of an earlier start that lets the key go
// says so at once instead (TellRunningPairAKeyIsFree).
constexpr auto kGrabRetryInterval = std::chrono::milliseconds(250);
using Clock = std::chrono::steady_clock;

enum class GrabState { Held, HeldByAnother, Failed };

// The passive grab: exactly the stored keycode and mask, asynchronous modes,
// no lock-key variants.
GrabState GrabHotkey(xcb_connection_t* c, const ListenerConfig& config, bool report) {
  const xcb_void_cookie_t grab = xcb_grab_key_checked(
      c, 0, HostWindow, static_cast<std::uint16_t>(config.grabbed.modifiers),
      static_cast<xcb_keycode_t>(config.grabbed.keycode), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  std::uint8_t error = 0;
  if (x11::Check(c, grab, &error)) return GrabState::Held;
  if (report)
    Diagnostic("listener %d: grab of keycode %d with modifiers 0x%x refused (%s)", config.slot,
               config.grabbed.keycode, config.grabbed.modifiers,
               error == XCB_ACCESS ? "another program holds this key; trying again while open"
                                   : "X error");
  return error == XCB_ACCESS ? GrabState::HeldByAnother : GrabState::Failed;
}

// Selects key presses on the host window (a press that no grab takes still
// reaches us there) and grabs the hotkey. False when the window is gone.
bool Listen(const x11::Connection& display, const ListenerConfig& config, GrabState* grab) {
  xcb_connection_t* c = display.get();
  const std::uint32_t keyPresses = XCB_EVENT_MASK_KEY_PRESS;
  std::uint8_t error = 0;
  if (!x11::Check(
          c, xcb_change_window_attributes_checked(c, HostWindow, XCB_CW_EVENT_MASK, &keyPresses),
          &error)) {
    Diagnostic("listener %d: the host window 0x%x is gone (X error %u)", config.slot, HostWindow,
               error);
    *grab = GrabState::Failed;
    return false;
  }
  *grab = GrabHotkey(c, config, true);
  return true;
}

int ListenForHotkey(const ListenerConfig& config) {
  x11::Connection display;
  if (!display.ok()) {
    Diagnostic("listener %d: no X display", config.slot);
    config.pair->Arrive();
    return 1;
  }
  if (HostWindow == 0) {
    Diagnostic("listener %d: no host window, nothing grabbed", config.slot);
    config.pair->Arrive();
    return 0;
  }
  GrabState grab = GrabState::Failed;
  const bool listening = Listen(display, config, &grab);
  config.pair->Arrive();
  if (!listening) return 0;
  Diagnostic("listener %d started: keycode %d, modifiers 0x%x", config.slot, config.grabbed.keycode,
             config.grabbed.modifiers);

  xcb_connection_t* c = display.get();
  const std::atomic<bool>& stopFlag = config.pair->stopFlag;
  const WakeSignal& keyReleased = config.pair->keyReleased[config.slot - 1];
  pollfd waits[3] = {{display.fd(), POLLIN, 0},
                     {config.pair->wake.fd(), POLLIN, 0},
                     {keyReleased.fd(), POLLIN, 0}};
  auto nextRetry = Clock::now() + kGrabRetryInterval;
  while (!stopFlag.load(std::memory_order_acquire)) {
    // poll() sees only the socket: drain what XCB has already buffered first.
    while (x11::Owned<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
      if (stopFlag.load(std::memory_order_acquire)) break;
      if ((event->response_type & 0x7F) != XCB_KEY_PRESS) continue;  // errors included
      const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
      // The keycode alone decides; the modifier state of the press is not compared.
      if (press->detail == CurrentKeycode(config.slot)) Deliver(config);
    }
    if (xcb_connection_has_error(c)) {
      Diagnostic("listener %d: the X server connection was lost", config.slot);
      return 0;
    }
    if (stopFlag.load(std::memory_order_acquire)) break;
    const bool retrying = grab == GrabState::HeldByAnother;
    int timeout = -1;
    if (retrying) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextRetry - Clock::now());
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    const int ready = poll(waits, 3, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (waits[1].revents != 0) break;  // woken to stop
    const bool released = waits[2].revents != 0;
    if (released) keyReleased.Clear();
    // Key presses arriving meanwhile do not put the next try off.
    if (retrying && (released || Clock::now() >= nextRetry)) {
      grab = GrabHotkey(c, config, false);
      nextRetry = Clock::now() + kGrabRetryInterval;
      if (grab == GrabState::Held)
        Diagnostic("listener %d: the key is free now and grabbed", config.slot);
    }
  }
  if (grab == GrabState::Held) {
    // Released here, on the connection that holds it, and confirmed by a
    // round trip: once Stop has joined us, another client can grab the key.
    xcb_ungrab_key(c, static_cast<xcb_keycode_t>(config.grabbed.keycode), HostWindow,
                   static_cast<std::uint16_t>(config.grabbed.modifiers));
    display.Sync();
    TellRunningPairAKeyIsFree(config.pair);
  }
  Diagnostic("listener %d stopped", config.slot);
  return 0;
}

void RunListener(const ListenerConfig& config) noexcept {
  try {
    ListenForHotkey(config);
  } catch (...) {
    Diagnostic("listener %d ended by an exception", config.slot);
  }
  config.pair->Finish();
}

std::shared_ptr<ListenerPair> TakeRunning() {
  std::lock_guard lock(controlMutex);
  return std::exchange(Running(), nullptr);
}

// Stops a pair and waits for its listeners, without holding any lock: a
// listener inside the host's event slot may itself call Close or Open.
void Retire(const std::shared_ptr<ListenerPair>& pair) {
  if (!pair) return;
  pair->stopFlag.store(true, std::memory_order_release);
  pair->wake.Signal();
  const std::thread::id self = std::this_thread::get_id();
  int others = 0;
  bool callerIsListener = false;
  for (const std::thread& thread : pair->threads) {
    if (!thread.joinable()) continue;
    if (thread.get_id() == self)
      callerIsListener = true;
    else
      ++others;
  }
  const bool ended = pair->WaitFinished(others, callerIsListener, kHostSlotTimeout, kStopTimeout);
  if (!ended) Diagnostic("a listener did not stop in time; it is released and posts nothing more");
  for (std::thread& thread : pair->threads) {
    if (!thread.joinable()) continue;
    // A host that closes the device from inside its event handler calls us on
    // the listener's own thread: that one cannot be joined, only released; it
    // ends as soon as the handler returns.
    if (thread.get_id() == self || !ended)
      thread.detach();
    else
      thread.join();
  }
}

}  // namespace

void StartHotkeyListeners() noexcept {
  try {
    std::lock_guard start(startMutex);
    Retire(TakeRunning());
    XInitThreads();
    IAddInDefBase* connection = ActiveHostConnection.load();
    LoadHotkeys(connection);
    auto pair = std::make_shared<ListenerPair>();
    {
      // Published with its threads, so a concurrent Stop finds every one of them.
      std::lock_guard lock(controlMutex);
      Running() = pair;
      for (int slot = 1; slot <= 2; ++slot) {
        try {
          pair->threads[slot - 1] =
              std::thread(RunListener, ListenerConfig{slot, CurrentHotkey(slot), connection, pair});
        } catch (...) {
          Diagnostic("listener %d could not be started", slot);
          pair->Arrive();
        }
      }
    }
    pair->WaitForGrabs(std::chrono::seconds(5));
  } catch (...) {
    Diagnostic("the hotkey listeners could not be started");
  }
}

void StopHotkeyListeners() noexcept {
  try {
    Retire(TakeRunning());
  } catch (...) {
    Diagnostic("stopping the hotkey listeners failed");
  }
}
