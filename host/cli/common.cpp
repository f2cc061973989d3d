// What every subcommand shares: the common options, numbers and modifier
// names read with clear messages, typo suggestions and the exit words.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "host/cli/app.h"
#include "host/cli/errors.h"

namespace cli {

void AddCommonOptions(CLI::App& parser, CommonOptions& common) {
  // Both copies (before and after the command's name) write the same
  // variables; a --lib given twice takes the last, as a wrapper adding its own expects.
  parser.add_option("--lib", common.library, "the add-in library to load")
      ->type_name("PATH")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  parser.add_flag("--verbose", common.verbose,
                  "let the add-in write its diagnostics to stderr (sets WEDGESIM_DEBUG=1)");
  parser.add_flag("--json", common.json,
                  "write JSON Lines: one object a line, each with \"ok\" and \"type\"");
}

long ParseWhole(const std::string& text, const std::string& option, long least, long most,
                const std::string& unit) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < least || value > most)
    throw CliError(kExitUsage, option + ": " + text + " is not a whole number of " + unit +
                                   " from " + std::to_string(least) + " to " +
                                   std::to_string(most));
  return value;
}

double ParseSeconds(const std::string& text, const std::string& option, double least, double most) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value < least || value > most) {
    std::ostringstream range;
    range << least << " to " << most;
    throw CliError(kExitUsage,
                   option + ": " + text + " is not a number of seconds from " + range.str());
  }
  return value;
}

unsigned ModifierMask(const std::string& names) {
  static constexpr std::pair<std::string_view, unsigned> kModifiers[] = {
      {"shift", 1U}, {"ctrl", 4U}, {"alt", 8U}, {"super", 64U}};
  unsigned mask = 0;
  std::size_t at = 0;
  while (at <= names.size()) {
    const std::size_t end = std::min(names.find_first_of(",+", at), names.size());
    const std::string_view name = std::string_view(names).substr(at, end - at);
    at = end + 1;
    if (name.empty()) continue;
    const auto* found = std::find_if(std::begin(kModifiers), std::end(kModifiers),
                                     [&](const auto& modifier) { return modifier.first == name; });
    if (found == std::end(kModifiers))
      throw CliError(kExitUsage,
                     "unknown modifier " + std::string(name) + " (shift, ctrl, alt, super)");
    mask |= found->second;
  }
  return mask;
}

std::string Closest(const std::string& word, const std::vector<std::string>& choices) {
  // Edit distance: a typo is at most two edits away, and less than half the word.
  auto distance = [](const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t above = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
        diagonal = above;
      }
    }
    return row[b.size()];
  };
  std::string best;
  std::size_t bestDistance = std::min<std::size_t>(3, word.size() / 2 + 1);
  for (const std::string& choice : choices) {
    const std::size_t d = distance(word, choice);
    if (d < bestDistance) {
      bestDistance = d;
      best = choice;
    }
  }
  return best;
}

namespace {

struct StatusText {
  const char* word;
  const char* meaning;
};

// Indexed by the status.
constexpr StatusText kStatuses[] = {
    {"ok", "success: everything asked for was done"},
    {"failed", "the command ran but did not get what it asked for"},
    {"usage", "a bad command line, or a barcode no device could take"},
    {"environment", "no display, no window manager, Xvfb or openbox missing"},
    {"library", "the add-in library cannot be found or loaded"},
    {"no-device", "nothing to scan into: no open device matched (after --wait)"},
    {"refused", "the device answered, and refused at least one barcode"},
    {"timed-out", "a device (or the capture) did not answer in time"},
    {"partly-sent", "the run stopped before every barcode was answered"},
    {"no-barcode", "an image holds no barcode, or not the one --pick names"},
    {"bad-image", "a file that is no image, or one that cannot be read"},
    {"truncated", "an image file that ends early or is corrupt"},
    {"too-large", "an image over the pixel limit"},
};

}  // namespace

const char* ExitWord(int status) {
  if (status < 0 || status > kExitTooLarge) return "failed";
  return kStatuses[status].word;
}

const char* ExitMeaning(int status) {
  if (status < 0 || status > kExitTooLarge) return "";
  return kStatuses[status].meaning;
}

}  // namespace cli
