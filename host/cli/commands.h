// The subcommands: what the command line asks of each (filled in by the
// parser in main.cpp) and their entry points, which return the exit status
// and throw CliError for failures main.cpp reports.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct CommonOptions {
  std::string library;  // --lib; the parser fills in the default beside the program
  bool verbose = false;
  bool json = false;
};

struct InfoOptions {
  std::string lang = "en";
};

struct SendOptions {
  std::string barcode;
  bool base64 = false;
  bool activate = false;
};

struct ListenOptions {
  // Unset codes keep the add-in's own (empty) test barcodes.
  std::string code1, code2;
  bool code1Set = false, code2Set = false;
  bool base64First = false, base64Second = false;
};

struct SetHotkeyOptions {
  int slot = 1;
  // With a keysym the hotkey is stored without a capture; with reset its
  // stored values are removed. Neither: the capture window asks for it.
  std::string keysym;
  std::string modifiers;  // e.g. "ctrl,shift"
  bool reset = false;
};

struct ScanOptions {
  long pid = 0;  // 0: the one open device of this user
  std::vector<std::string> codes;
  bool base64 = false;           // each barcode is Base64 of raw bytes
  std::vector<std::string> gs1;  // AI notation: (01)04600000000008(21)ABC
  std::string file;              // one barcode a line; "-" is standard input
  int intervalMs = 0;
};

struct PressOptions {
  std::vector<std::string> keysyms;
  std::string modifiers;  // e.g. "shift", "ctrl+alt"
};

// One file each: info.cpp, send.cpp, listen.cpp, hotkey_commands.cpp, demo.cpp,
// scan.cpp (scan and devices).
int RunInfo(const CommonOptions& common, const InfoOptions& options);
int RunSend(const CommonOptions& common, const SendOptions& options);
int RunListen(const CommonOptions& common, const ListenOptions& options);
int RunSetHotkey(const CommonOptions& common, const SetHotkeyOptions& options);
int RunHotkeys(const CommonOptions& common);
int RunDemo(const CommonOptions& common);
int RunPress(const CommonOptions& common, const PressOptions& options);
int RunScan(const CommonOptions& common, const ScanOptions& options);
int RunDevices(const CommonOptions& common);

}  // namespace cli
