#include "host/kit/host_connection.h"

#include "host/kit/timestamp.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "host/kit/text.h"

namespace hostkit {

namespace {
constexpr std::string_view kReadSuffix = ":Default";

std::u16string Copy(const HostChar* text) {
  if (text == nullptr) return {};
  return std::u16string(text);
}
}  // namespace

std::string ExternalEvent::dataUtf8() const { return Utf8(data); }

bool HostConnection::ReportError(std::uint16_t code, const HostChar* source,
                                 const HostChar* description, long status) {
  std::lock_guard lock(mutex_);
  errors_.push_back({code, Utf8(source), Utf8(description), status});
  return true;
}

bool HostConnection::ReadSetting(const HostChar* name, HostVariant* value, long* error,
                                 HostChar** /*errorDescription*/) {
  std::string key = Utf8(name);
  std::lock_guard lock(mutex_);
  ++reads_;
  if (answerEmpty_) return true;
  auto found = settings_.find(key);
  if (found == settings_.end() && key.size() > kReadSuffix.size() &&
      key.compare(key.size() - kReadSuffix.size(), kReadSuffix.size(), kReadSuffix) == 0)
    found = settings_.find(key.substr(0, key.size() - kReadSuffix.size()));
  if (found == settings_.end()) {
    if (error != nullptr) *error = 1;
    return false;
  }
  std::memset(value, 0, sizeof *value);
  value->type = kVariantInt32;
  value->intValue = found->second;
  return true;
}

bool HostConnection::WriteSetting(const HostChar* name, HostVariant* value) {
  if (value == nullptr || value->type != kVariantInt32) return false;
  std::lock_guard lock(mutex_);
  const std::string key = Utf8(name);
  settings_[key] = value->intValue;
  writeOrder_.push_back(key);
  SaveProfileLocked();
  return profileError_.empty();
}

bool HostConnection::RegisterSettingsProfile(const HostChar* profileName) {
  std::lock_guard lock(mutex_);
  profiles_.push_back(Utf8(profileName));
  return true;
}

bool HostConnection::SendExternalEvent(const HostChar* source, const HostChar* eventName,
                                       const HostChar* data) {
  ExternalEvent event{Utf8(source), Utf8(eventName), Copy(data), std::chrono::steady_clock::now(),
                      UtcTimestamp()};
  std::function<void(const ExternalEvent&)> callback;
  {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
    callback = onEvent_;
  }
  eventArrived_.notify_all();
  if (callback) callback(event);
  if (throwOnEvent_) throw std::runtime_error("the host's event queue is closed");
  return true;
}

std::vector<ErrorReport> HostConnection::errors() const {
  std::lock_guard lock(mutex_);
  return errors_;
}

std::vector<ExternalEvent> HostConnection::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::size_t HostConnection::eventCount() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

bool HostConnection::WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  // NOTE: a deadline on the system clock: a wait on the steady clock needs
  // pthread_cond_clockwait (glibc 2.30), and the command runs on older ones.
  return eventArrived_.wait_until(lock, std::chrono::system_clock::now() + timeout,
                                  [&] { return events_.size() >= count; });
}

std::vector<std::string> HostConnection::registeredProfiles() const {
  std::lock_guard lock(mutex_);
  return profiles_;
}

void HostConnection::SetSetting(const std::string& name, std::int32_t value) {
  std::lock_guard lock(mutex_);
  settings_[name] = value;
  SaveProfileLocked();
}

void HostConnection::RemoveSetting(const std::string& name) {
  std::lock_guard lock(mutex_);
  settings_.erase(name);
  SaveProfileLocked();
}

std::optional<std::int32_t> HostConnection::Setting(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto found = settings_.find(name);
  if (found == settings_.end()) return std::nullopt;
  return found->second;
}

std::map<std::string, std::int32_t> HostConnection::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

std::vector<std::string> HostConnection::writeOrder() const {
  std::lock_guard lock(mutex_);
  return writeOrder_;
}

std::size_t HostConnection::readCount() const {
  std::lock_guard lock(mutex_);
  return reads_;
}

void HostConnection::OnEvent(std::function<void(const ExternalEvent&)> callback) {
  std::lock_guard lock(mutex_);
  onEvent_ = std::move(callback);
}

bool HostConnection::AttachProfileFile(const std::string& path, std::string* error) {
  std::lock_guard lock(mutex_);
  profileFile_ = path;
  std::ifstream in(path);
  if (!in) return true;  // no file yet: an empty profile
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    try {
      settings_[line.substr(0, equals)] =
          static_cast<std::int32_t>(std::stol(line.substr(equals + 1)));
    } catch (const std::exception&) {
      if (error != nullptr) *error = "ignored a bad line in " + path + ": " + line;
    }
  }
  return true;
}

void HostConnection::SaveProfileLocked() {
  if (profileFile_.empty()) return;
  // Written beside it and renamed over it: a failed write never loses the old profile.
  const std::string temporary = profileFile_ + ".tmp";
  bool written = false;
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const auto& [name, value] : settings_) out << name << '=' << value << '\n';
    out.flush();
    written = static_cast<bool>(out);
  }
  if (written && std::rename(temporary.c_str(), profileFile_.c_str()) == 0) {
    profileError_.clear();
    return;
  }
  std::remove(temporary.c_str());
  profileError_ = "cannot write the profile " + profileFile_;
}

std::string HostConnection::profileError() const {
  std::lock_guard lock(mutex_);
  return profileError_;
}

}  // namespace hostkit
