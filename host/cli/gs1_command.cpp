// `wedgesim gs1`: what a GS1 code is, field by field (AI, title, each
// component and each of GS1's checks on it), and the element string a
// scanner sends for it; with --parse, an element string (as an image or a
// scanner gave it) read back into AI notation.
#include "host/cli/app.h"
#include "host/cli/barcode.h"
#include "host/cli/errors.h"
#include "host/cli/output.h"
#include "host/gs1/syntax.h"
#include "text/utf.h"

namespace cli {

namespace {

std::u16string Widened(const std::string& bytes) {
  std::u16string wide;
  for (const char byte : bytes) wide += static_cast<char16_t>(static_cast<unsigned char>(byte));
  return wide;
}

Json FieldJson(const gs1::FieldReport& field) {
  Json value;
  value["ai"] = field.field.ai;
  value["title"] = field.title;
  value["value"] = wedgesim::text::Utf16ToUtf8(Widened(field.field.value));
  value["known"] = field.known;
  value["predefinedLength"] = field.predefinedLength;
  value["components"] = Json::array();
  for (const gs1::ComponentReport& component : field.components) {
    Json linters = Json::array();
    for (const gs1::LinterVerdict& linter : component.linters)
      linters.push_back({{"name", linter.name},
                         {"checks", linter.checks},
                         {"ok", linter.ok},
                         {"why", linter.why}});
    value["components"].push_back({{"type", component.type},
                                   {"characterSet", component.characterSet},
                                   {"present", component.present},
                                   {"part", wedgesim::text::Utf16ToUtf8(Widened(component.part))},
                                   {"ok", component.ok},
                                   {"linters", linters}});
  }
  value["problems"] = Json::array();
  for (const gs1::Problem& problem : field.problems) value["problems"].push_back(problem.message);
  return value;
}

std::string FieldText(const gs1::FieldReport& field) {
  std::string text =
      Pad("(" + field.field.ai + ")", 7) +
      Pad(field.title.empty() ? (field.known ? "" : "unknown AI") : field.title, 28) +
      Visible(Widened(field.field.value)) + (field.ok() ? "" : "   WRONG") + '\n';
  for (const gs1::ComponentReport& component : field.components) {
    if (!component.present) continue;
    text += "       " + Pad(component.type, 8) + Pad(component.characterSet, 24) + "\"" +
            Visible(Widened(component.part)) + "\"";
    for (const gs1::LinterVerdict& linter : component.linters)
      text += "  " + linter.name + (linter.ok ? " ok" : ": " + linter.why);
    text += '\n';
  }
  return text;
}

int Explain(const CommonOptions& common, const std::string& input, bool parse) {
  gs1::Parsed parsed;
  if (parse) {
    // A scanner's bytes, with escapes for what a command line cannot hold.
    const std::u16string unescaped = Unescape(input, "gs1 --parse");
    std::string bytes;
    for (const char16_t unit : unescaped) {
      if (unit > 0xFF) throw CliError(kExitUsage, "gs1 --parse: an element string is bytes");
      bytes += static_cast<char>(unit);
    }
    parsed = gs1::ParseElementString(bytes);
  } else {
    parsed = gs1::Parse(input);
  }
  const gs1::Report report = gs1::Explain(parsed.fields);
  std::vector<gs1::Problem> problems = parsed.problems;
  problems.insert(problems.end(), report.problems.begin(), report.problems.end());
  const std::string element = gs1::ToElementString(parsed.fields);
  const std::string notation = gs1::ToNotation(parsed.fields);
  const bool ok = problems.empty();

  Json line = Record("gs1", ok);
  line["input"] = input;
  line["notation"] = notation;
  line["elementString"] = wedgesim::text::Utf16ToUtf8(Widened(element));
  line["visible"] = Visible(Widened(element));
  line["units"] = Units(Widened(element));
  line["symbologyIdentifier"] =
      parsed.symbologyIdentifier.empty() ? Json() : Json(parsed.symbologyIdentifier);
  line["fields"] = Json::array();
  for (const gs1::FieldReport& field : report.fields) line["fields"].push_back(FieldJson(field));
  line["problems"] = Json::array();
  for (const gs1::Problem& problem : problems)
    line["problems"].push_back(
        {{"ai", problem.ai}, {"rule", problem.rule}, {"message", problem.message}});

  std::string text;
  for (const gs1::FieldReport& field : report.fields) text += FieldText(field);
  if (!parsed.symbologyIdentifier.empty())
    text += "symbology identifier  " + parsed.symbologyIdentifier + '\n';
  text += "AI notation           " + notation + '\n';
  text += "element string        " + Visible(Widened(element)) + "  (" +
          std::to_string(element.size()) + " characters)\n";
  text += ok ? std::string("valid: every rule of GS1's dictionary holds")
             : std::to_string(problems.size()) + (problems.size() == 1 ? " problem" : " problems");
  for (const gs1::Problem& problem : problems) text += "\n  " + problem.message;
  Emit(common.json, line, text);
  return ok ? kExitOk : kExitFailed;
}

}  // namespace

Subcommand AddGs1(CLI::App& app, const CommonOptions& common) {
  auto input = std::make_shared<std::string>();
  auto parse = std::make_shared<bool>(false);
  CLI::App* parser = app.add_subcommand(
      "gs1",
      "explain a GS1 code (AI notation or Digital Link) field by field against GS1's rules, "
      "and print its element string; --parse reads an element string back");
  parser->group("Commands");
  parser
      ->add_option("code", *input,
                   "(01)04600000000008(21)ABC, https://id.gs1.org/01/..., or with --parse "
                   "]d20104600000000008\\x1d21ABC")
      ->required();
  parser->add_flag("--parse", *parse,
                   "the code is an element string (GS as \\x1d, a symbology identifier "
                   "first if any)");
  return {parser, [&common, input, parse] { return Explain(common, *input, *parse); }};
}

}  // namespace cli
