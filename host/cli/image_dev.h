// Developer commands over the image engine (host/image), hidden from --help
// until `scan --image/--screen` and `label` are built on it:
//   wedgesim _read FILE...                       every barcode in image files and PDFs
//   wedgesim _read --screen | --window ID | --pid PID | --name TITLE | --region WxH+X+Y
//   wedgesim _label SYMBOLOGY DATA OUT.png [--module N] [--quiet N]
// _read prints one JSON line a symbol (bytes as one character a byte).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cli {

struct CommonOptions;

class ImageDevCommands {
 public:
  explicit ImageDevCommands(CLI::App& app);  // adds both, hidden
  CLI::App* read = nullptr;
  CLI::App* label = nullptr;
  int RunRead(const CommonOptions& common) const;
  int RunLabel(const CommonOptions& common) const;

 private:
  std::vector<std::string> files_;
  bool screen_ = false;
  std::string window_, name_, region_;
  std::uint32_t pid_ = 0;
  std::string symbology_, data_, output_;
  int module_ = 4, quiet_ = -1;
};

}  // namespace cli
