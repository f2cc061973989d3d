#include "device/device.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "abi/diagnostics.h"
#include "abi/fd.h"
#include "abi/resident.h"
#include "hotkey/listener.h"
#include "x11/connection.h"

namespace wedgesim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Stop gives a thread inside the host's event slot this long to come out.
// Normally it takes well under a millisecond; only a host that blocks there
// until the thread now stopping answers would hold it up, and waiting longer
// could not help.
constexpr milliseconds kHostSlotTimeout{2000};
// Otherwise the thread is only releasing its keys, on a busy machine: it is
// waited for, up to this bound for an X server that no longer answers.
constexpr milliseconds kStopTimeout{30000};

// The bounds of one stop (a Close, a destruction, an Open that replaces the
// device), shared by every thread it waits for: however many devices were
// retired before, one stop waits at most kHostSlotTimeout for threads held in
// the host.
struct StopDeadline {
  Clock::time_point hostSlot, release;
  static StopDeadline FromNow() {
    const auto now = Clock::now();
    return {now + kHostSlotTimeout, now + kStopTimeout};
  }
};
// After an unexpected failure the loop pauses this long, so a failure that
// repeats cannot spin.
constexpr milliseconds kFailurePause{10};

// The device thread's poll slots: fixed ones first, then the channel's
// endpoint and its clients.
enum PollSlot : std::size_t { kStopSlot, kHotkey1Slot, kHotkey2Slot, kChannelSlot };

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

class Device {
 public:
  explicit Device(DeviceConfig config)
      : hotkeys_{config.hotkeys[0], config.hotkeys[1]}, sink_(std::move(config.sink)) {
    auto channel = std::make_unique<ChannelServer>();
    if (channel->ok()) channel_ = std::move(channel);
    if (config.window == 0) {
      Diagnostic("no host window: the hotkeys are off");
      return;
    }
    auto first = std::make_unique<HotkeyListener>(1, hotkeys_[0], config.window, true);
    if (!first->ok()) return;
    locks_ = first->locks();
    listeners_[0] = std::move(first);
    listeners_[1] = std::make_unique<HotkeyListener>(2, hotkeys_[1], config.window, false, locks_);
    Diagnostic(
        "device open: hotkey 1 keycode %d modifiers 0x%x, hotkey 2 keycode %d modifiers "
        "0x%x, lock modifiers 0x%x",
        hotkeys_[0].keycode, hotkeys_[0].modifiers, hotkeys_[1].keycode, hotkeys_[1].modifiers,
        locks_);
  }

  // Whether there is anything for a thread to wait on.
  bool NeedsThread() const { return listeners_[0] != nullptr || channel_ != nullptr; }

  // The endpoint's file goes as soon as the device stops, whichever thread
  // stops it, and never later: a client must not find a closed device.
  void RemoveEndpoint() {
    if (channel_) channel_->RemoveEndpoint();
  }

  // Whether the caller is this device's thread (a host calling from inside
  // its event handler). The thread records itself first thing.
  bool IsCurrentThread() const { return threadId_.load() == std::this_thread::get_id(); }

  void Run() noexcept {
    threadId_.store(std::this_thread::get_id());
    std::vector<pollfd> waits;
    bool hotkeysLive[2] = {listeners_[0] && listeners_[0]->ok(),
                           listeners_[1] && listeners_[1]->ok()};
    while (!stopping_.load()) {
      try {
        ServeHotkeys(hotkeysLive);
        if (stopping_.load()) break;
        if (!hotkeysLive[0] && !hotkeysLive[1] && !channel_) break;  // nothing left to wait on
        waits.clear();
        waits.push_back({stop_.fd(), POLLIN, 0});
        for (std::size_t i = 0; i < 2; ++i)
          waits.push_back({hotkeysLive[i] ? listeners_[i]->fd() : -1, POLLIN, 0});
        if (channel_) channel_->AddWaits(waits);
        const int ready = poll(waits.data(), waits.size(), PollTimeout());
        if (ready < 0 && errno != EINTR) {
          Diagnostic("device: poll failed (errno %d)", errno);
          break;
        }
        if (waits[kStopSlot].revents != 0) break;
        for (auto& listener : listeners_)
          if (listener && listener->retrying() && Clock::now() >= listener->nextRetry())
            listener->RetryRefused();
        if (channel_)
          channel_->Serve(
              &waits[kChannelSlot], [this](const std::u16string& data) { return HandUpScan(data); },
              [this] { return !stopping_.load(); });
      } catch (...) {
        // A failed allocation loses at most what was being handled; the
        // device goes on.
        Diagnostic("device: a failure interrupted the handling of an event; it was lost");
        pollfd pause{stop_.fd(), POLLIN, 0};
        poll(&pause, 1, static_cast<int>(kFailurePause.count()));
      }
    }
    ReleaseKeys();
    if (channel_) channel_->Shutdown();
    Diagnostic("device thread stopped");
    ended_.store(true);
    progress_.Signal();
  }

  // On another thread than the device's: stops it and waits for it, within
  // `deadline`. False when its thread is still running (held in the host's
  // event slot).
  bool Stop(const StopDeadline& deadline) {
    stopping_.store(true);
    stop_.Signal();
    if (!thread_.joinable()) {
      ReleaseKeys();  // no thread ever used the connections
      return true;
    }
    return Finish(&deadline);
  }

  // On the device's own thread (the host closes or reopens the device from
  // its event handler): the thread cannot wait for itself, but it owns its
  // connections, so it lets its keys go now and ends when the handler returns.
  void StopFromOwnThread() {
    stopping_.store(true);
    ReleaseKeys();
  }

  // Waits for a stopped device's thread to end and joins it: as long as it
  // is only releasing its keys (up to the deadline's release bound, for a
  // server that no longer answers), but only up to its host-slot bound while
  // it is inside the host; without a deadline, joins it only if it has ended.
  // False when it is still running.
  bool Finish(const StopDeadline* deadline) {
    if (!thread_.joinable()) return true;
    while (deadline != nullptr && !ended_.load()) {
      const auto limit = inHost_.load() ? deadline->hostSlot : deadline->release;
      if (Clock::now() >= limit) break;
      pollfd progress{progress_.fd(), POLLIN, 0};
      poll(&progress, 1, MillisecondsUntil(limit));
      progress_.Clear();
    }
    if (!ended_.load()) return false;
    thread_.join();
    return true;
  }

  // The last resort when a running thread cannot be kept track of.
  void Abandon() {
    if (thread_.joinable()) thread_.detach();
  }

  void StartThread(std::shared_ptr<Device> self) {
    thread_ = std::thread([self = std::move(self)] { self->Run(); });
  }

  const pid_t owner = getpid();

 private:
  // Hands up every press that has arrived; a listener whose connection is
  // lost is marked so (and no longer polled).
  void ServeHotkeys(bool (&live)[2]) {
    for (std::size_t i = 0; i < 2; ++i) {
      if (!live[i]) continue;
      live[i] = listeners_[i]->Drain([this](PressedKey press) {
        if (stopping_.load()) return false;
        const int slot = HotkeyForPress(press, hotkeys_, locks_);
        if (slot != 0) HandUp([&] { sink_->HotkeyPressed(slot); });
        return !stopping_.load();
      });
      if (!live[i]) Diagnostic("hotkey %zu: the X server connection was lost", i + 1);
    }
  }

  ChannelScanResult HandUpScan(const std::u16string& data) {
    ChannelScanResult result = ChannelScanResult::Closing;
    HandUp([&] { result = sink_->ChannelScan(data); });
    return result;
  }

  // NOTE: in and out of the host's slot is told to a stopper only while it
  // stops: once `stopping_` is seen set after `inHost_` was, nothing is
  // handed up, so nothing reaches the host after Stop has returned.
  template <typename Call>
  void HandUp(Call&& call) {
    inHost_.store(true);
    if (!stopping_.load()) call();
    inHost_.store(false);
    if (stopping_.load()) progress_.Signal();
  }

  int PollTimeout() const {
    int timeout = channel_ ? channel_->WaitLimit() : -1;  // lines already read, a paused accept
    for (const auto& listener : listeners_)
      if (listener && listener->retrying()) {
        const int due = MillisecondsUntil(listener->nextRetry());
        timeout = timeout < 0 ? due : std::min(timeout, due);
      }
    return timeout;
  }

  // Both listeners share one wait for the server.
  void ReleaseKeys() {
    bool any = false;
    for (auto& listener : listeners_)
      if (listener && !listener->released()) {
        listener->BeginRelease();
        any = true;
      }
    if (any) x11::CountRoundTrip();
    for (auto& listener : listeners_)
      if (listener) listener->FinishRelease();
  }

  Hotkey hotkeys_[2];
  std::shared_ptr<ScanSink> sink_;
  std::uint32_t locks_ = 0;
  std::unique_ptr<HotkeyListener> listeners_[2];
  std::unique_ptr<ChannelServer> channel_;
  WakeSignal stop_;      // written by a stopper, read by the thread
  WakeSignal progress_;  // written by the thread, read by a stopper
  std::atomic<bool> stopping_{false};
  std::atomic<bool> inHost_{false};
  std::atomic<bool> ended_{false};
  std::atomic<std::thread::id> threadId_{};
  std::thread thread_;
};

std::mutex startMutex;    // one start at a time; Stop never takes it
std::mutex controlMutex;  // guards Running() and the start of its thread

// The running device. Never destroyed, like the rest of the library's state:
// a host may exit with the device open, and destroying a device whose thread
// was never joined at exit would abort the process.
Resident<std::shared_ptr<Device>> runningDevice;
std::shared_ptr<Device>& Running() { return *runningDevice; }

std::shared_ptr<Device> TakeRunning() {
  std::lock_guard lock(controlMutex);
  return std::exchange(Running(), nullptr);
}

// Stopped devices whose threads had not ended yet: closed from their own
// event handler, or held in the host's event slot past the bound. They hand
// nothing up any more; the next stop from another thread waits for them, so
// that once Close or DestroyObject has returned no thread of ours is still
// inside the host's code. Never destroyed, like Running().
Resident<std::vector<std::shared_ptr<Device>>> retiredDevices;
std::vector<std::shared_ptr<Device>>& Retired() { return *retiredDevices; }

void KeepRetired(const std::shared_ptr<Device>& device) {
  try {
    std::lock_guard lock(controlMutex);
    Retired().push_back(device);
  } catch (...) {
    device->Abandon();  // nowhere to keep it: it ends by itself when the host lets it go
  }
}

// Joins the retired devices of this process that another thread runs,
// waiting for them within `deadline`, or (null) only for those already ended.
void FinishRetired(const StopDeadline* deadline) {
  std::vector<std::shared_ptr<Device>> retired;
  {
    std::lock_guard lock(controlMutex);
    retired.swap(Retired());
  }
  for (auto& device : retired)
    if (device->owner != getpid() || device->IsCurrentThread() || !device->Finish(deadline))
      KeepRetired(device);
}

// Stops a device without holding any lock: its thread may itself be inside
// the host, closing or opening the device again.
void Retire(std::shared_ptr<Device> device, const StopDeadline& deadline) {
  if (!device) return;
  if (device->owner != getpid()) {
    // A forked child shares its parent's X connections and has none of its
    // threads: writing, ungrabbing or waiting there would break the parent's
    // device. The child forgets its copy and never frees it (closing an XCB
    // connection shuts the shared socket down), without allocating: the
    // reference is moved into storage that is never destroyed (a later
    // generation of children overwrites it, which forgets it all the same).
    alignas(
        std::shared_ptr<Device>) static unsigned char forgotten[sizeof(std::shared_ptr<Device>)];
    new (forgotten) std::shared_ptr<Device>(std::move(device));
    Diagnostic("in a forked child: the parent's device is left alone");
    return;
  }
  device->RemoveEndpoint();
  if (device->IsCurrentThread()) {
    device->StopFromOwnThread();
    KeepRetired(device);
  } else if (!device->Stop(deadline)) {
    Diagnostic("the device thread did not stop in time; it hands nothing up any more");
    KeepRetired(device);
  }
}

}  // namespace

void StartDevice(DeviceConfig config) noexcept {
  try {
    std::lock_guard start(startMutex);
    Retire(TakeRunning(), StopDeadline::FromNow());
    FinishRetired(nullptr);  // what ended since: its connections are closed now
    x11::InitializeXlibThreads();
    auto device = std::make_shared<Device>(std::move(config));
    // Published with its thread, so a concurrent Stop finds the thread too.
    std::lock_guard lock(controlMutex);
    if (device->NeedsThread()) {
      try {
        device->StartThread(device);
      } catch (...) {
        Diagnostic("the device thread could not be started: the hotkeys are off");
        device->Stop(StopDeadline::FromNow());
      }
    }
    Running() = std::move(device);
  } catch (...) {
    Diagnostic("the device could not be opened: the hotkeys are off");
  }
}

void StopDevice() noexcept {
  try {
    const StopDeadline deadline = StopDeadline::FromNow();
    Retire(TakeRunning(), deadline);
    FinishRetired(&deadline);
  } catch (...) {
    Diagnostic("stopping the device failed");
  }
}

}  // namespace wedgesim
