// The host's connection as the reference host provides it: records error
// reports, external events (posted from any thread) and profile registrations,
// and keeps a settings profile of 32-bit integers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "abi/host_abi.h"

namespace hostkit {

struct ErrorReport {
  std::uint16_t code;
  std::string source;       // UTF-8
  std::string description;  // UTF-8
  long status;
};

struct ExternalEvent {
  std::string source;   // UTF-8
  std::string name;     // UTF-8
  std::u16string data;  // exactly as received
  std::string dataUtf8() const;
  std::chrono::steady_clock::time_point received;
  std::string time;  // when it arrived, UTC (hostkit::UtcTimestamp)
};

class HostConnection final : public IAddInDefBase {
 public:
  HostConnection() = default;
  ~HostConnection() override = default;

  bool ReportError(std::uint16_t code, const HostChar* source, const HostChar* description,
                   long status) override;
  // Reads "NAME:Default": finds what was written under the bare NAME (or under
  // the whole key, for hosts that write suffixed names).
  bool ReadSetting(const HostChar* name, HostVariant* value, long* error,
                   HostChar** errorDescription) override;
  bool WriteSetting(const HostChar* name, HostVariant* value) override;
  bool RegisterSettingsProfile(const HostChar* profileName) override;
  bool UnusedSlot6(long) override { return false; }
  long UnusedSlot7() override { return 0; }
  bool SendExternalEvent(const HostChar* source, const HostChar* eventName,
                         const HostChar* data) override;

  std::vector<ErrorReport> errors() const;
  std::vector<ExternalEvent> events() const;
  std::size_t eventCount() const;
  // Waits until at least `count` events have arrived; true if they did in time.
  bool WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const;
  std::vector<std::string> registeredProfiles() const;

  // The settings profile, by bare name.
  void SetSetting(const std::string& name, std::int32_t value);
  // Forgets the value, so whoever reads it next gets its own default.
  void RemoveSetting(const std::string& name);
  std::optional<std::int32_t> Setting(const std::string& name) const;
  std::map<std::string, std::int32_t> settings() const;
  std::vector<std::string> writeOrder() const;  // bare names, in the order written
  std::size_t readCount() const;

  // Persists the profile in a file (one "NAME=VALUE" a line): loaded now,
  // saved after every write.
  bool AttachProfileFile(const std::string& path, std::string* error = nullptr);
  // Why the last save of the profile file failed; empty when it succeeded.
  std::string profileError() const;

  // Called after each event is recorded (on the posting thread).
  void OnEvent(std::function<void(const ExternalEvent&)> callback);
  // SendExternalEvent throws std::runtime_error after recording, to prove the
  // add-in swallows what the host throws.
  void SetThrowOnEvent(bool throwOnEvent) { throwOnEvent_ = throwOnEvent; }
  // ReadSetting answers true for every name and leaves the record as it came
  // (all zero), as a host with a broken profile store might.
  void SetAnswerEmptyRecords(bool empty) { answerEmpty_ = empty; }

 private:
  void SaveProfileLocked();

  mutable std::mutex mutex_;
  mutable std::condition_variable eventArrived_;
  std::vector<ErrorReport> errors_;
  std::vector<ExternalEvent> events_;
  std::vector<std::string> profiles_;
  std::map<std::string, std::int32_t> settings_;
  std::vector<std::string> writeOrder_;
  std::size_t reads_ = 0;
  std::string profileFile_;
  std::string profileError_;
  std::function<void(const ExternalEvent&)> onEvent_;
  bool throwOnEvent_ = false;
  bool answerEmpty_ = false;
};

}  // namespace hostkit
