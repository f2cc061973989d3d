// `wedgesim info`: everything the add-in tells without changing anything.
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "host/cli/addin.h"
#include "host/cli/commands.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/hotkeys.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"
#include "host/cli/xml.h"

namespace cli {

namespace {

struct HostSide {
  std::string display;  // empty without one
  unsigned long window = 0;
  std::string windowNote;  // why there is none
  std::string profile;
};

// Every answer, gathered once and then shown either way.
struct Report {
  std::string library;
  std::vector<std::string> classes;
  std::string extension;
  long queryInfo = 0;
  std::string version;
  Description description;
  std::vector<MethodInfo> methods;
  DeviceTestResult test;
  LastError lastError;
  std::string actionsXml, settingsXml;
  std::vector<std::pair<std::string, std::string>> actions;  // name and caption
  std::vector<HotkeyView> hotkeys;
  std::string settingsPid;
  HostSide host;
};

std::string Indented(const std::string& text, const std::string& prefix) {
  std::istringstream lines(text);
  std::string out, line;
  while (std::getline(lines, line)) out += prefix + line + '\n';
  return out;
}

// The keys after the first three are named by the out-parameter they come
// from (5, 6, 7), as scripts have read them; the text form names them plainly.
json::Value DescriptionJson(const Description& d) {
  json::Value value;
  value.Add("name", d.name)
      .Add("description", d.description)
      .Add("equipmentKind", d.equipmentKind)
      .Add("revision", d.interfaceRevision)
      .Add("flag5", d.integrationFlag1)
      .Add("flag6", d.integrationFlag2)
      .Add("text7", d.integrationText);
  return value;
}

std::string DescriptionText(const Description& d) {
  std::string text = "Description\n";
  auto row = [&](const char* label, const std::string& value) {
    text += "  " + Pad(label, 23) + (value.empty() ? "(empty)" : value) + '\n';
  };
  row("name", d.name);
  row("description", d.description);
  row("equipment kind", d.equipmentKind);
  row("interface revision", std::to_string(d.interfaceRevision));
  row("integration flag 1", YesNo(d.integrationFlag1));
  row("integration flag 2", YesNo(d.integrationFlag2));
  row("integration text", d.integrationText);
  return text;
}

std::string MethodsText(const std::vector<MethodInfo>& methods) {
  std::string text = "Methods\n   #  " + Pad("name", 37) + Pad("alias", 44) + "params  result\n";
  for (const MethodInfo& m : methods) {
    const std::string number = std::to_string(m.number);
    text += std::string(4 - std::min<std::size_t>(4, number.size()), ' ') + number + "  " +
            Pad(m.name, 37) + Pad(m.alias, 44) + Pad(std::to_string(m.parameters), 8) +
            YesNo(m.hasResult) + '\n';
  }
  return text;
}

json::Value ReportJson(const Report& r) {
  json::Value classList = json::Array{};
  for (const std::string& name : r.classes) classList.Push(name);
  json::Value methodList = json::Array{};
  for (const MethodInfo& m : r.methods) {
    json::Value method;
    method.Add("number", m.number)
        .Add("name", m.name)
        .Add("alias", m.alias)
        .Add("parameters", m.parameters)
        .Add("hasResult", m.hasResult);
    methodList.Push(method);
  }
  json::Value actionList = json::Array{};
  for (const auto& [name, caption] : r.actions) {
    json::Value action;
    action.Add("name", name).Add("caption", caption);
    actionList.Push(action);
  }
  json::Value hotkeys = json::Array{};
  for (const HotkeyView& hotkey : r.hotkeys) hotkeys.Push(HotkeyJson(hotkey));
  json::Value deviceTest, error, host;
  deviceTest.Add("description", r.test.description).Add("demoMode", r.test.demoMode);
  error.Add("code", r.lastError.code).Add("text", r.lastError.text);
  host.Add("processId", static_cast<long>(getpid()))
      .Add("settingsPid", r.settingsPid)
      .Add("display", r.host.display.empty() ? json::Value() : json::Value(r.host.display))
      .Add("window", r.host.window == 0 ? json::Value() : json::Value(WindowText(r.host.window)))
      .Add("windowNote", r.host.window == 0 ? json::Value(r.host.windowNote) : json::Value())
      .Add("profile", r.host.profile);
  json::Value document;
  document.Add("library", r.library)
      .Add("classNames", classList)
      .Add("extensionName", r.extension)
      .Add("queryInfo", r.queryInfo)
      .Add("version", r.version)
      .Add("description", DescriptionJson(r.description))
      .Add("methods", methodList)
      .Add("deviceTest", deviceTest)
      .Add("lastError", error)
      .Add("actions", actionList)
      .Add("actionsXml", r.actionsXml)
      .Add("settingsXml", r.settingsXml)
      .Add("hotkeys", hotkeys)
      .Add("host", host);
  return document;
}

std::string ReportText(const Report& r) {
  std::string classText, actionsText;
  for (const std::string& name : r.classes) classText += (classText.empty() ? "" : ", ") + name;
  for (const auto& [name, caption] : r.actions)
    actionsText += "  " + Pad(name, 12) + caption + '\n';
  std::string text;
  text += "Library      " + r.library + '\n';
  text += "Classes      " + classText + '\n';
  text += "Extension    " + r.extension + " (QueryInfo " + std::to_string(r.queryInfo) + ")\n";
  text += "Version      " + r.version + "\n\n";
  text += DescriptionText(r.description) + '\n';
  text += MethodsText(r.methods) + '\n';
  text += "Device test  " + r.test.description +
          (r.test.demoMode.empty() ? "" : " / " + r.test.demoMode) + '\n';
  text += "Last error   " + std::to_string(r.lastError.code) +
          (r.lastError.text.empty() ? " (no text)" : " " + r.lastError.text) + "\n\n";
  text += "Additional actions\n" + actionsText + '\n';
  text += "Hotkeys\n";
  for (const HotkeyView& hotkey : r.hotkeys)
    text += "  " + std::to_string(hotkey.slot) + "  " + Pad(hotkey.text, 20) + " (" +
            StoredText(hotkey) + ")\n";
  text += '\n';
  text += "Host\n";
  text +=
      "  process id   " + std::to_string(getpid()) + " (the settings say " + r.settingsPid + ")\n";
  text += "  display      " + (r.host.display.empty() ? "none" : r.host.display) + '\n';
  text += "  host window  " + WindowText(r.host.window) +
          (r.host.window == 0 ? " (" + r.host.windowNote + ")" : "") + '\n';
  text += "  profile      " + r.host.profile + "\n\n";
  text += "Actions XML\n" + Indented(IndentXml(r.actionsXml), "  ") + '\n';
  text += "Settings XML\n" + Indented(IndentXml(r.settingsXml), "  ");
  return text;
}

}  // namespace

int RunInfo(const CommonOptions& common, const InfoOptions& options) {
  Report r;
  // Like the platform, the host window exists before the add-in is loaded,
  // so the add-in can find it; without a display there is simply none.
  std::unique_ptr<hostkit::HostTopLevelWindow> window;
  if (auto display = CurrentDisplay()) {
    r.host.display = *display;
    window = TryShowHostWindow(*display, &r.host.windowNote);
  } else {
    r.host.windowNote = "no display";
  }

  AddIn addin(common.library, common.verbose);
  r.host.profile = ProfilePath();
  AttachProfile(addin.connection(), r.host.profile, false);
  addin.ApplyLanguage(options.lang);

  r.library = addin.path();
  r.classes = addin.ClassNames();
  r.extension = addin.ExtensionName();
  r.queryInfo = addin.QueryInfo();
  r.version = addin.Version();
  r.description = addin.GetDescription();
  r.methods = addin.Methods();
  r.test = addin.DeviceTest();
  r.lastError = addin.GetLastError();
  r.actionsXml = addin.Actions();
  for (const XmlElement& element : XmlElements(r.actionsXml))
    if (element.name == "Action")
      r.actions.emplace_back(element.Attribute("Name").value_or(""),
                             element.Attribute("Caption").value_or(""));
  r.settingsXml = addin.Parameters();
  for (int slot = 1; slot <= 2; ++slot)
    r.hotkeys.push_back(ViewHotkey(r.settingsXml, addin.connection(), slot));
  r.settingsPid = NamedAttribute(r.settingsXml, "CurrentPid", "DefaultValue").value_or("");
  // Shown only once the window manager listed it, which is what the add-in looks for.
  if (window != nullptr) r.host.window = window->id();

  // Only the form asked for is built.
  if (common.json)
    Emit(true, ReportJson(r), "");
  else
    Emit(false, json::Value(), ReportText(r));
  return kExitOk;
}

}  // namespace cli
