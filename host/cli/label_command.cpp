// `wedgesim label`: a barcode rendered to PNG, for test fixtures and printed
// test labels. GS1 symbologies take AI notation (or a Digital Link), checked
// against GS1's rules first, with FNC1 where GS1 puts it.
#include "host/cli/app.h"
#include "host/cli/errors.h"
#include "host/cli/output.h"
#include "host/gs1/syntax.h"
#include "host/image/image_error.h"
#include "host/image/image_file.h"
#include "host/image/label.h"

namespace cli {

namespace {

struct LabelOptions {
  std::string symbology, data, output;
  std::string module = "4", quiet = "-1";
  bool noText = false;
};

bool IsGs1(image::Symbology symbology) {
  return symbology == image::Symbology::GS1DataMatrix || symbology == image::Symbology::GS1_128 ||
         symbology == image::Symbology::GS1QRCode;
}

// The GS1 code as zint takes it: "[AI]value", which lets a value hold "(".
std::string Bracketed(const std::string& code) {
  const bool link = code.rfind("http://", 0) == 0 || code.rfind("https://", 0) == 0;
  const gs1::Parsed parsed = link ? gs1::ParseDigitalLink(code) : gs1::ParseNotation(code);
  std::vector<gs1::Problem> problems = parsed.problems;
  if (parsed.ok()) problems = gs1::Check(parsed.fields);
  if (!problems.empty()) throw CliError(kExitUsage, "label: " + gs1::Messages(problems));
  std::string bracketed;
  for (const gs1::Field& field : parsed.fields) bracketed += "[" + field.ai + "]" + field.value;
  return bracketed;
}

int Label(const CommonOptions& common, const LabelOptions& options) {
  const auto symbology = image::SymbologyNamed(options.symbology);
  if (!symbology)
    throw CliError(kExitUsage, "label: no symbology " + options.symbology + " (" +
                                   image::SymbologyNames() + ")");
  image::LabelOptions settings;
  settings.symbology = *symbology;
  settings.moduleSize = static_cast<int>(ParseWhole(options.module, "--module", 1, 50, "pixels"));
  settings.quietZone = static_cast<int>(ParseWhole(options.quiet, "--quiet", -1, 100, "modules"));
  settings.humanText = !options.noText;
  const std::string data = IsGs1(*symbology) ? Bracketed(options.data) : options.data;
  try {
    const image::GreyImage picture = image::RenderLabel(data, settings);
    image::WritePng(picture, options.output);
    Json line = Record("label");
    line["symbology"] = image::NameOf(*symbology);
    line["file"] = options.output;
    line["width"] = picture.width();
    line["height"] = picture.height();
    Emit(common.json, line,
         std::string(image::NameOf(*symbology)) + " label written to " + options.output + " (" +
             std::to_string(picture.width()) + "x" + std::to_string(picture.height()) + ")");
  } catch (const image::Error& error) {
    const bool environment = error.failure() == image::Failure::LabelUnavailable;
    throw CliError(error.failure() == image::Failure::LabelData ? kExitUsage
                   : environment                                ? kExitEnvironment
                                                                : kExitFailed,
                   error.what());
  }
  return kExitOk;
}

}  // namespace

Subcommand AddLabel(CLI::App& app, const CommonOptions& common) {
  auto options = std::make_shared<LabelOptions>();
  CLI::App* parser =
      app.add_subcommand("label", "render a barcode to PNG: test fixtures and printed test labels");
  parser->group("Commands");
  parser
      ->add_option("symbology", options->symbology,
                   "datamatrix, qr, code128, ean13, ean8, upca, itf14, pdf417, gs1-datamatrix, "
                   "gs1-128, gs1-qr")
      ->required();
  parser
      ->add_option("data", options->data,
                   "what it encodes; AI notation for the GS1 ones, (01)...(21)...")
      ->required();
  parser->add_option("-o,--output", options->output, "the PNG file to write")
      ->required()
      ->type_name("FILE");
  parser->add_option("--module", options->module, "pixels a module (bar, cell), 1 to 50")
      ->type_name("PIXELS");
  parser->add_option("--quiet", options->quiet, "modules of white around it (default: its own)")
      ->type_name("MODULES");
  parser->add_flag("--no-text", options->noText, "no digits under a linear barcode");
  return {parser, [&common, options] { return Label(common, *options); }};
}

}  // namespace cli
