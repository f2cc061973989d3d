// Small costs, timed by Google Benchmark:
//   GenerateExternalEvent  CallProcedure on the loaded library with the
//                          device open (the device thread idle), through to
//                          the host's SendExternalEvent, which only counts here
//   IdealEventWork         its floor: the work no implementation can skip,
//                          done inline here: the two type checks, the
//                          barcode copied (the host may change its record
//                          while its handler runs), and the host's slot called
//   DecodeBase64           a 24-character code, called directly
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "bench/support.h"
#include "host/kit/variant.h"
#include "text/base64.h"

namespace {

using namespace wedgesim;

// The private desktop with the device open, made on first use and closed at exit.
struct OpenDevice {
  OpenDevice()
      : server(bench::StartDesktop()),
        window(bench::MakeHostWindow(server->display(), true)),
        host(&connection) {
    if (!host.OpenDevice()) bench::Fail("Open failed");
    host.PrepareEvent("4600000000001");
  }
  ~OpenDevice() {  // runs inside exit(): no second exit() from here
    if (host.CloseDevice()) return;
    std::fputs("bench: Close failed\n", stderr);
    std::_Exit(1);
  }
  bench::CountingConnection connection;  // outlives the library's device thread
  std::unique_ptr<hostkit::PrivateXServer> server;
  std::unique_ptr<hostkit::HostTopLevelWindow> window;
  bench::Host host;
};

OpenDevice& Device() {
  static OpenDevice device;
  return device;
}

void GenerateExternalEvent(benchmark::State& state) {
  OpenDevice& device = Device();
  const long before = device.connection.events.load();
  for (auto _ : state)
    if (!device.host.GenerateEvent()) bench::Fail("GenerateExternalEvent failed");
  if (device.connection.events.load() - before != state.iterations())
    bench::Fail("not every GenerateExternalEvent reached the host");
}
BENCHMARK(GenerateExternalEvent);

void IdealEventWork(benchmark::State& state) {
  bench::CountingConnection counting;
  IAddInDefBase* connection = &counting;
  benchmark::DoNotOptimize(connection);  // called through the table, as the add-in must
  const std::u16string text = u"4600000000001";
  HostVariant parameters[2] = {hostkit::String(text), hostkit::Boolean(false)};
  for (auto _ : state) {
    benchmark::DoNotOptimize(parameters);
    if (parameters[0].type != kVariantString || parameters[1].type != kVariantBool) continue;
    // The source and event name are constant host text; the barcode is copied.
    HostChar data[64];
    std::size_t i = 0;
    for (; parameters[0].stringValue[i] != 0 && i + 1 < std::size(data); ++i)
      data[i] = parameters[0].stringValue[i];
    data[i] = 0;
    connection->SendExternalEvent(u"ZovedavUzuruvOriv", u"Штрихкод", data);
  }
  if (counting.events.load() != state.iterations())
    bench::Fail("the ideal work skipped the host's slot");
}
BENCHMARK(IdealEventWork);

void DecodeBase64_24Chars(benchmark::State& state) {
  constexpr std::string_view code = "NDYwMDAwMDAwMDAwMTIzNDU2";  // 18 bytes
  static_assert(code.size() == 24);
  for (auto _ : state) benchmark::DoNotOptimize(wedgesim::text::DecodeBase64(code));
}
BENCHMARK(DecodeBase64_24Chars);

}  // namespace

BENCHMARK_MAIN();
