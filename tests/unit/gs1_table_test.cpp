// The GS1 module against gs1_cases.txt: several hundred cases written from
// GS1's rules, one a line (the file's header says how to read them).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/gs1/syntax.h"

namespace {

std::string Unescaped(std::string text) {
  if (text == "{EMPTY}") return "";
  for (const auto& [token, character] : {std::pair{"{GS}", "\x1d"}, std::pair{"{SP}", " "}})
    for (std::size_t at; (at = text.find(token)) != std::string::npos;)
      text.replace(at, std::string_view(token).size(), character);
  return text;
}

struct Outcome {
  std::vector<gs1::Field> fields;
  std::vector<gs1::Problem> problems;
  std::string output;
};

Outcome RunCase(char kind, const std::string& input) {
  if (kind == 'N' || kind == 'S') {
    gs1::Built built =
        gs1::Build(input, kind == 'N' ? gs1::Checking::kFull : gs1::Checking::kSyntaxOnly);
    return {built.fields, built.problems, built.elementString};
  }
  gs1::Parsed parsed = kind == 'E' ? gs1::ParseElementString(input) : gs1::ParseDigitalLink(input);
  Outcome outcome{parsed.fields, parsed.problems, gs1::ToNotation(parsed.fields)};
  // A Digital Link's own rules leave its fields whole: check them too.
  const bool read =
      std::none_of(parsed.problems.begin(), parsed.problems.end(),
                   [](const gs1::Problem& problem) { return problem.rule == "syntax"; });
  if (read)
    for (gs1::Problem& problem : gs1::Check(parsed.fields))
      outcome.problems.push_back(std::move(problem));
  return outcome;
}

TEST(Gs1Table, EveryCaseHolds) {
  std::ifstream file(WEDGESIM_GS1_CASES);
  ASSERT_TRUE(file) << WEDGESIM_GS1_CASES;
  int cases = 0, number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE("gs1_cases.txt:" + std::to_string(number) + ": " + line);
    std::istringstream words(line);
    std::string kind, input, expectation, text;
    words >> kind >> input >> expectation;
    std::getline(words >> std::ws, text);
    ASSERT_TRUE(kind.size() == 1 && std::string("NSED").find(kind[0]) != std::string::npos);
    const Outcome outcome = RunCase(kind[0], Unescaped(input));
    const std::string messages = gs1::Messages(outcome.problems);
    if (expectation == "ok" || expectation == "=") {
      EXPECT_EQ(messages, "");
      if (expectation == "=") {
        EXPECT_EQ(outcome.output, Unescaped(text));
      }
    } else if (expectation == "!") {
      EXPECT_EQ(messages, Unescaped(text));
    } else {
      ASSERT_EQ(expectation, "~");
      EXPECT_NE(messages.find(Unescaped(text)), std::string::npos) << messages;
    }
    // Every clean notation comes back from its element string, and from the
    // notation written from its fields.
    if (kind == "N" && messages.empty()) {
      EXPECT_EQ(gs1::ParseElementString(outcome.output).fields, outcome.fields);
      EXPECT_EQ(gs1::ParseNotation(gs1::ToNotation(outcome.fields)).fields, outcome.fields);
    }
    ++cases;
  }
  EXPECT_GE(cases, 500);
}

}  // namespace
