#include "bench/support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/kit/text.h"
#include "host/kit/variant.h"

namespace bench {

void Fail(const std::string& message) {
  std::fprintf(stderr, "bench: %s\n", message.c_str());
  std::exit(1);
}

Summary Summarize(std::vector<double> samples) {
  if (samples.empty()) Fail("no samples to summarize");
  std::sort(samples.begin(), samples.end());
  auto rank = [&](double p) {
    const auto n = static_cast<double>(samples.size());
    const auto index = static_cast<std::size_t>(std::ceil(p * n));
    return samples[std::clamp<std::size_t>(index, 1, samples.size()) - 1];
  };
  return {samples.size(), samples.front(), rank(0.5), rank(0.99), samples.back()};
}

std::unique_ptr<hostkit::PrivateXServer> StartDesktop() {
  std::string error;
  auto server = hostkit::PrivateXServer::Start({}, &error);
  if (!server) Fail("cannot start the private X server: " + error);
  server->ExportDisplay();
  return server;
}

std::unique_ptr<hostkit::HostTopLevelWindow> MakeHostWindow(const std::string& display,
                                                            bool activate) {
  std::string error;
  auto window = hostkit::HostTopLevelWindow::Create(display, {}, &error);
  if (!window) Fail("cannot create the host window: " + error);
  if (!window->WaitListed(std::chrono::seconds(30))) Fail("the host window was never listed");
  if (activate && !window->Activate()) Fail("the host window did not get the focus");
  return window;
}

Host::Host(IAddInDefBase* lent) : AddInSession(LibraryPath(), {.connection = lent}) {
  if (!ok()) Fail("cannot use " + LibraryPath() + ": " + error());
  generate_ = MethodNumber("GenerateExternalEvent");
  if (generate_ < 0) Fail("the component has no method GenerateExternalEvent");
}

void Host::PrepareEvent(const std::string& text) { eventText_ = hostkit::Host(text); }

bool Host::GenerateEvent() {
  HostVariant parameters[2] = {hostkit::String(eventText_), hostkit::Boolean(false)};
  return component->CallProcedure(generate_, parameters, 2);
}

}  // namespace bench
