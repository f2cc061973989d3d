// `wedgesim info`: everything the add-in tells without changing anything.
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "host/cli/addin.h"
#include "host/cli/app.h"
#include "host/cli/desktop.h"
#include "host/cli/errors.h"
#include "host/cli/hotkey_view.h"
#include "host/cli/output.h"
#include "host/cli/profile.h"
#include "host/cli/settings_xml.h"

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
Json DescriptionJson(const Description& d) {
  Json value;
  value["name"] = d.name;
  value["description"] = d.description;
  value["equipmentKind"] = d.equipmentKind;
  value["revision"] = d.interfaceRevision;
  value["flag5"] = d.integrationFlag1;
  value["flag6"] = d.integrationFlag2;
  value["text7"] = d.integrationText;
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

Json ReportJson(const Report& r) {
  Json methods = Json::array();
  for (const MethodInfo& m : r.methods)
    methods.push_back({{"number", m.number},
                       {"name", m.name},
                       {"alias", m.alias},
                       {"parameters", m.parameters},
                       {"hasResult", m.hasResult}});
  Json actions = Json::array();
  for (const auto& [name, caption] : r.actions)
    actions.push_back({{"name", name}, {"caption", caption}});
  Json hotkeys = Json::array();
  for (const HotkeyView& hotkey : r.hotkeys) hotkeys.push_back(HotkeyJson(hotkey));
  Json host;
  host["processId"] = getpid();
  host["settingsPid"] = r.settingsPid;
  host["display"] = r.host.display.empty() ? Json() : Json(r.host.display);
  host["window"] = r.host.window == 0 ? Json() : Json(WindowText(r.host.window));
  host["windowNote"] = r.host.window == 0 ? Json(r.host.windowNote) : Json();
  host["profile"] = r.host.profile;
  Json line = Record("info");
  line["library"] = r.library;
  line["classNames"] = r.classes;
  line["extensionName"] = r.extension;
  line["queryInfo"] = r.queryInfo;
  line["version"] = r.version;
  line["description"] = DescriptionJson(r.description);
  line["methods"] = methods;
  line["deviceTest"] = {{"description", r.test.description}, {"demoMode", r.test.demoMode}};
  line["lastError"] = {{"code", r.lastError.code}, {"text", r.lastError.text}};
  line["actions"] = actions;
  line["actionsXml"] = r.actionsXml;
  line["settingsXml"] = r.settingsXml;
  line["hotkeys"] = hotkeys;
  line["host"] = host;
  return line;
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
  text.pop_back();  // Emit ends the text
  return text;
}

int Info(const CommonOptions& common, const std::string& lang) {
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
  addin.ApplyLanguage(lang);

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
  r.actions = ActionsOf(r.actionsXml);
  r.settingsXml = addin.Parameters();
  for (int slot = 1; slot <= 2; ++slot)
    r.hotkeys.push_back(ViewHotkey(r.settingsXml, addin.connection(), slot));
  r.settingsPid = NamedAttribute(r.settingsXml, "CurrentPid", "DefaultValue").value_or("");
  // Shown only once the window manager listed it, which is what the add-in looks for.
  if (window != nullptr) r.host.window = window->id();

  // Only the form asked for is built.
  if (common.json)
    EmitJson(ReportJson(r));
  else
    Emit(false, Json(), ReportText(r));
  return kExitOk;
}

}  // namespace

Subcommand AddInfo(CLI::App& app, const CommonOptions& common) {
  auto lang = std::make_shared<std::string>("en");
  CLI::App* parser = app.add_subcommand(
      "info", "show the add-in's identity, methods, actions, settings and host window");
  parser->group("Commands");
  parser->add_option("--lang", *lang, "interface language of the add-in's texts")
      ->check(CLI::IsMember({"en", "ru"}))
      ->default_str("en");
  return {parser, [&common, lang] { return Info(common, *lang); }};
}

}  // namespace cli
