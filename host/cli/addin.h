// The add-in as this command drives it: one session of the host kit (the
// library, its component, the connection and memory manager lent to it),
// with each driver method's failure turned into the command's own error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/kit/session.h"

namespace cli {

// What GetDescription fills: three texts, the interface revision, then two
// flags and a text that the add-in hands over as fixed values; the names say
// only where each one sits.
struct Description {
  std::string name, description, equipmentKind;
  std::int32_t interfaceRevision = 0;
  bool integrationFlag1 = false, integrationFlag2 = false;
  std::string integrationText;
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
  // Loads `path`: a bare file name is looked for in the current directory
  // first, then wherever dlopen looks. With verbose, WEDGESIM_DEBUG=1 is set
  // first: the library reads it when it is loaded. Throws
  // CliError(kExitLibrary) with dlerror's text when the library cannot be used.
  // The session closes the device if this command left it open.
  AddIn(const std::string& path, bool verbose);

  hostkit::HostConnection& connection() { return session_.connection; }
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
  std::string path_;  // as loaded: before the session, which loads it
  hostkit::AddInSession session_;
};

}  // namespace cli
