// Memory over many device lifecycles, through the loaded library on a
// private desktop (so every Open grabs its hotkeys and starts its thread):
//
//   Open/Close            one session, opened and closed again and again
//   create/open/destroy   a session a cycle: load (a reference to the mapped
//                         library), component, Open, DestroyObject, unload
//
// The library's own growth shows with a host that frees the texts it was
// given; the kit's memory manager keeps every block until its session ends
// (and its connection records every event and profile registration), so
// the same cycles with it measure the host, which the last row shows.
//
// Then the waits for the X server an Open and a Close make, counted by the
// library's own X layer (linked in here, driven below the component).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support.h"
#include "device/device.h"
#include "x11/connection.h"

namespace {

constexpr int kCycles = 10000;
constexpr int kWarmUp = 100;

long ResidentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * 4;  // 4 kB pages
}

// A host that frees every text the add-in handed it once it has read it.
class FreeingMemory final : public HostMemoryManager {
 public:
  FreeingMemory() { blocks_.reserve(16); }
  ~FreeingMemory() override { FreeAll(); }
  bool Allocate(void** block, unsigned long bytes) override {
    *block = std::malloc(bytes == 0 ? 1 : bytes);
    if (*block == nullptr) return false;
    blocks_.push_back(*block);
    return true;
  }
  void FreeAll() {
    for (void* block : blocks_) std::free(block);
    blocks_.clear();
  }

 private:
  std::vector<void*> blocks_;
};

template <typename Cycle>
void Measure(const char* what, Cycle&& cycle) {
  for (int i = 0; i < kWarmUp; ++i) cycle();
  const long before = ResidentKilobytes();
  const auto start = bench::Clock::now();
  for (int i = 0; i < kCycles; ++i) cycle();
  const double seconds = std::chrono::duration<double>(bench::Clock::now() - start).count();
  const long after = ResidentKilobytes();
  std::printf("  %-52s %6d %9ld %+8ld %8.1f\n", what, kCycles, after, after - before,
              1e6 * seconds / kCycles);
}

class NoScans final : public wedgesim::ScanSink {
 public:
  void HotkeyPressed(int) noexcept override {}
  wedgesim::ChannelScanResult ChannelScan(const std::u16string&) noexcept override {
    return wedgesim::ChannelScanResult::Posted;
  }
};

void CountRoundTrips(unsigned long window) {
  constexpr int kSamples = 20;
  unsigned long opens = 0, closes = 0;
  for (int i = 0; i < kSamples; ++i) {
    const unsigned long start = wedgesim::x11::RoundTrips.load();
    wedgesim::StartDevice(
        {{{49, 0}, {49, 1}}, static_cast<std::uint32_t>(window), std::make_shared<NoScans>()});
    const unsigned long opened = wedgesim::x11::RoundTrips.load();
    wedgesim::StopDevice();
    opens += opened - start;
    closes += wedgesim::x11::RoundTrips.load() - opened;
  }
  std::printf("X server waits, counted by the library's X layer: Open %.1f, Close %.1f\n",
              static_cast<double>(opens) / kSamples, static_cast<double>(closes) / kSamples);
}

}  // namespace

int main() {
  auto server = bench::StartDesktop();
  auto window = bench::MakeHostWindow(server->display(), true);
  bench::CountingConnection quiet;
  FreeingMemory memory;
  const std::string library = bench::LibraryPath();

  std::printf("memory over device lifecycles (private display %s)\n", server->display().c_str());
  std::printf("  %-52s %6s %9s %8s %8s\n", "", "cycles", "RSS kB", "growth", "us/cycle");
  {
    hostkit::AddInSession session(library, {.connection = &quiet, .memory = &memory});
    if (!session.ok()) bench::Fail("cannot use " + library + ": " + session.error());
    Measure("Open/Close, a host that frees what it read", [&] {
      if (!session.OpenDevice() || !session.CloseDevice()) bench::Fail("Open/Close failed");
      memory.FreeAll();
    });
  }
  Measure("create/open/destroy, a host that frees what it read", [&] {
    hostkit::AddInSession session(library, {.connection = &quiet, .memory = &memory});
    if (!session.ok() || !session.OpenDevice()) bench::Fail("Open failed");
    memory.FreeAll();
  });
  {
    hostkit::AddInSession session(library);
    Measure("Open/Close, the kit's host, which keeps every text", [&] {
      if (!session.OpenDevice() || !session.CloseDevice()) bench::Fail("Open/Close failed");
    });
  }
  CountRoundTrips(window->id());
  return 0;
}
