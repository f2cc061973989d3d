// The add-in as this host drives it: loads the library, creates the component
// and lends it a connection and a memory manager, then calls its driver
// methods by the numbers FindMethodIndex gives for their names, as the
// platform does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/connection.h"
#include "host/library.h"
#include "host/memory.h"

namespace cli {

// What GetDescription fills: three texts, then the fixed number, two flags and a text.
struct Description {
  std::string name, description, equipmentKind;
  std::int32_t revision = 0;
  bool flag5 = false, flag6 = false;
  std::string text7;
};

struct MethodInfo {
  long number;
  std::string name, alias;
  long parameters;
  bool hasResult;
};

struct DeviceTestResult {
  std::string description, demoMode;
};

struct LastError {
  std::int32_t code = 0;
  std::string text;
};

class AddIn {
 public:
  // Loads `path`. With verbose, WEDGESIM_DEBUG=1 is set first: the library
  // reads it when it is loaded. Throws CliError(kExitLibrary) with dlerror's
  // text when the library cannot be used.
  AddIn(const std::string& path, bool verbose);
  // Closes the device if this host opened it, then destroys the component
  // before the library goes.
  ~AddIn();
  AddIn(const AddIn&) = delete;
  AddIn& operator=(const AddIn&) = delete;

  hostkit::HostConnection& connection() { return connection_; }
  const std::string& path() const { return path_; }

  // The interface language; only "ru" changes anything.
  void ApplyLanguage(const std::string& lang);

  // Identity: what the platform reads before it calls any method.
  std::vector<std::string> ClassNames() const;
  std::string ExtensionName();
  long QueryInfo();
  std::vector<MethodInfo> Methods();

  // The driver methods; each throws CliError(kExitFailed) when the call fails.
  std::string Version();
  Description GetDescription();
  LastError GetLastError();
  std::string Parameters();  // the settings XML
  void SetText(const std::string& name, const std::string& value);
  void SetFlag(const std::string& name, bool value);
  std::string Open();  // the device name
  void Close();
  DeviceTestResult DeviceTest();
  std::string Actions();  // the actions XML
  // DoAdditionalAction: the action's own boolean outcome.
  bool DoAction(const std::string& action);
  // GenerateExternalEvent or the activating variant; false when the add-in refused.
  bool Generate(const std::string& text, bool base64, bool activate);

 private:
  long Number(const char* method);
  bool CallFunction(const char* method, HostVariant* result, std::vector<HostVariant>& parameters);

  // Declared first so they outlive the component, which holds pointers to both.
  hostkit::HostConnection connection_;
  hostkit::HostMemory memory_;
  std::string path_;
  std::unique_ptr<hostkit::LoadedLibrary> library_;
  std::unique_ptr<hostkit::Component> component_;
  bool open_ = false;
};

// The text the settings document shows for hotkey 1 or 2 ("Shift + grave");
// "?" when the document has none.
std::string HotkeyTextOf(const std::string& settingsXml, int slot);

}  // namespace cli
