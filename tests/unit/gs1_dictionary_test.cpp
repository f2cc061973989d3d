// GS1's dictionary as the module reads it: every entry, every linter, and
// what Explain tells about a field.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "host/gs1/data.h"
#include "host/gs1/dictionary.h"
#include "host/gs1/linters.h"
#include "host/gs1/syntax.h"

namespace {

const gs1::Dictionary& Gs1() { return gs1::Dictionary::Builtin(); }

TEST(Gs1Dictionary, HoldsExactlyTheAisOfGs1sFile) {
  std::ifstream file(WEDGESIM_GS1_DICTIONARY_FILE, std::ios::binary);
  std::stringstream committed;
  committed << file.rdbuf();
  EXPECT_EQ(committed.str(), gs1::data::kDictionary);  // embedded byte for byte
  EXPECT_EQ(Gs1().release(), "2026-01-27");
  // Counted from the file's lines with awk, ranges expanded.
  EXPECT_EQ(Gs1().entries().size(), 541u);
  for (const char* ai : {"00", "3100", "3105", "3695", "3955", "4333", "710", "717", "7240", "7259",
                         "8017", "8043", "90", "91", "99"})
    EXPECT_NE(Gs1().Find(ai), nullptr) << ai;
  for (const char* ai : {"04", "24", "260", "3106", "3375x", "3956", "4334", "718", "7260", "7300",
                         "8027", "89", "1", ""})
    EXPECT_EQ(Gs1().Find(ai), nullptr) << ai;
  // No AI starts another: a scanner's element string splits one way only.
  for (const gs1::AiEntry& entry : Gs1().entries())
    for (std::size_t length = 2; length < entry.ai.size(); ++length)
      EXPECT_EQ(Gs1().Find(entry.ai.substr(0, length)), nullptr) << entry.ai;
}

TEST(Gs1Dictionary, UsesEveryLinterThisModuleHasAndNoOther) {
  std::set<std::string> used, implemented;
  for (const gs1::AiEntry& entry : Gs1().entries())
    for (const gs1::Component& component : entry.components)
      for (const gs1::Linter* linter : component.linters) used.insert(linter->name);
  for (const gs1::Linter& linter : gs1::AllLinters()) implemented.insert(linter.name);
  EXPECT_EQ(used, implemented);
  EXPECT_EQ(used.size(), 34u);
}

TEST(Gs1Dictionary, RefusesWhatItCannotReadExactly) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"01 *? N14,csum,nosuch # X", "line 2: unknown linter \"nosuch\""},
      {"01 N..3 N2 # X", "line 2: a variable-length component that is not last"},
      {"01 [N2] N2 # X", "line 2: a mandatory component after an optional one"},
      {"01 * N..14 # X", "line 2: a predefined-length AI whose length varies"},
      {"01 N2 color=red # X", "line 2: unknown attribute \"color=red\""},
      {"01 N2 req=1x # X", "line 2: bad AI pattern \"1x\""},
      {"3109-3100 N6 # X", "line 2: bad AI or range \"3109-3100\""},
      {"01 % N2 # X", "line 2: unknown flag %"},
      {"01 # X", "line 2: no component"},
      {"01 N2 # X\n01 N3 # Y", "line 3: (01) defined twice"},
  };
  for (const auto& [line, message] : refused) {
    try {
      gs1::Dictionary::Parse("# header\n" + line + "\n");
      ADD_FAILURE() << line;
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
  }
  const gs1::Dictionary small = gs1::Dictionary::Parse(
      "3100-3102 ? N2 [N6],yymmdd req=01+21,02,35nn ex=310n dlpkey=22|235\n");
  ASSERT_EQ(small.entries().size(), 3u);
  const gs1::AiEntry& entry = *small.Find("3102");
  EXPECT_TRUE(!entry.predefinedLength && entry.dlAttribute && entry.dlPrimaryKey);
  EXPECT_TRUE(entry.components[1].optional);
  EXPECT_EQ(entry.components[1].linters[0]->name, std::string("yymmdd"));
  EXPECT_EQ(entry.Lengths(), (std::vector<std::pair<std::size_t, std::size_t>>{{2, 2}, {8, 8}}));
  EXPECT_EQ(entry.required,
            (std::vector<std::vector<std::vector<std::string>>>{{{"01", "21"}, {"02"}, {"35nn"}}}));
  EXPECT_EQ(entry.dlQualifiers, (std::vector<std::vector<std::string>>{{"22"}, {"235"}}));
  EXPECT_EQ(entry.Name(), "(3102)");
}

// A valid part for each component that the dictionary gives linters, keyed
// by how it writes the component.
const std::map<std::string, std::string> kSamples = {
    {"N..12,nozeroprefix", "1"},
    {"N1,iso5218", "9"},
    {"N1,winding", "0"},
    {"N1,yesno", "1"},
    {"N1,zero", "0"},
    {"N10,latitude", "0900000000"},
    {"N10,longitude", "1800000000"},
    {"N13,csum,gcppos1", "9521234543213"},
    {"N14,csum,gcppos2", "09521234543213"},
    {"N17,csum,gcppos1", "95212345678901235"},
    {"N18,csum,gcppos1", "952123456789012345"},
    {"N18,csum,gcppos2", "095212345678901235"},
    {"N2,hh", "00"},
    {"N2,mediatype", "01"},
    {"N2,mi", "00"},
    {"N2,ss", "00"},
    {"N3,iso3166", "250"},
    {"N3,iso3166999", "999"},
    {"N3,iso4217", "978"},
    {"N3,nonzero", "001"},
    {"N4,hhmi", "0000"},
    {"N4,nonzero", "0001"},
    {"N4,pieceoftotal", "0101"},
    {"N5,nonzero", "00001"},
    {"N6,yymmd0", "250100"},
    {"N6,yymmdd", "250101"},
    {"N8,yyyymmdd", "20250101"},
    {"X..25,csumalpha,gcppos1", "9521ABC6M"},
    {"X..25,csumalpha,gcppos1,hasnondigit", "9521ABC6M"},
    {"X..30,gcppos1", "9521"},
    {"X..34,iban", "GB82WEST12345698765432"},
    {"X..35,pcenc", "A"},
    {"X..4,packagetype", "BX"},
    {"X..40,pcenc", "A"},
    {"X..70,couponcode", "001234512345615110123"},
    {"X..70,couponposoffer", "000123451234560123456"},
    {"X..70,pcenc", "A"},
    {"X..90,pcenc", "A"},
    {"X1,hyphen", "-"},
    {"X1,importeridx", "_"},
    {"X2,iso3166alpha2", "FR"},
    {"X3,posinseqslash", "1/1"},
    {"Y..30,gcppos1", "9521"},
};

// The shortest value the entry takes: its mandatory components only.
std::string MinimalValue(const gs1::AiEntry& entry) {
  std::string value;
  for (const gs1::Component& component : entry.components) {
    if (component.optional) break;
    if (component.linters.empty()) {
      value +=
          std::string(component.minimum, component.set == gs1::CharacterSet::kNumeric ? '1' : 'A');
      continue;
    }
    std::string key = component.Notation();
    for (const gs1::Linter* linter : component.linters) key += std::string(",") + linter->name;
    const auto sample = kSamples.find(key);
    EXPECT_NE(sample, kSamples.end()) << "no sample for " << key;
    if (sample != kSamples.end()) value += sample->second;
  }
  return value;
}

bool HasProblem(const gs1::FieldReport& field, const std::string& rule, const std::string& text) {
  return std::any_of(
      field.problems.begin(), field.problems.end(), [&](const gs1::Problem& problem) {
        return problem.rule == rule && problem.message.find(text) != std::string::npos;
      });
}

TEST(Gs1Dictionary, EveryEntryTakesItsShortestValueAndRefusesWrongOnes) {
  for (const gs1::AiEntry& entry : Gs1().entries()) {
    SCOPED_TRACE(entry.Name());
    const std::string value = MinimalValue(entry);
    const gs1::Report minimal = gs1::Explain({{entry.ai, value}});
    EXPECT_TRUE(minimal.fields[0].ok()) << gs1::Messages(minimal.fields[0].problems);
    // Split back from a scanner's element string, whatever follows it.
    const std::vector<gs1::Field> fields = {{entry.ai, value}, {"10", "A"}};
    EXPECT_EQ(gs1::ParseElementString(gs1::ToElementString(fields)).fields, fields);

    const std::size_t longest = entry.Lengths().back().second;
    const std::string tooLong = value + std::string(longest + 1 - value.size(), value.back());
    EXPECT_TRUE(HasProblem(gs1::Explain({{entry.ai, tooLong}}).fields[0], "length",
                           entry.Name() + ": takes "));
    const std::string wrong = "~" + value.substr(1);
    EXPECT_TRUE(
        HasProblem(gs1::Explain({{entry.ai, wrong}}).fields[0], "characters", entry.Name()));
  }
}

TEST(Gs1Explain, TellsEachComponentAndLinter) {
  const gs1::Report report = gs1::Explain(
      {{"01", "09521234543213"}, {"8008", "2512312460"}, {"24", "1"}, {"8008", "2512312460"}});
  ASSERT_EQ(report.fields.size(), 4u);
  const gs1::FieldReport& gtin = report.fields[0];
  EXPECT_TRUE(gtin.known && gtin.predefinedLength && gtin.ok());
  EXPECT_EQ(gtin.title, "GTIN");
  ASSERT_EQ(gtin.components.size(), 1u);
  EXPECT_EQ(gtin.components[0].type, "N14");
  EXPECT_EQ(gtin.components[0].characterSet, "digits");
  ASSERT_EQ(gtin.components[0].linters.size(), 2u);
  EXPECT_EQ(gtin.components[0].linters[0].name, "csum");
  EXPECT_EQ(gtin.components[0].linters[0].checks, "GS1 mod-10 check digit");
  EXPECT_TRUE(gtin.components[0].linters[0].ok);

  const gs1::FieldReport& time = report.fields[1];
  EXPECT_FALSE(time.predefinedLength);
  ASSERT_EQ(time.components.size(), 4u);
  const std::vector<std::string> types = {"N6", "N2", "[N2]", "[N2]"},
                                 parts = {"251231", "24", "60", ""};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(time.components[i].type, types[i]);
    EXPECT_EQ(time.components[i].part, parts[i]);
    EXPECT_EQ(time.components[i].present, i < 3);
    EXPECT_EQ(time.components[i].ok, i == 0 || i == 3);
  }
  EXPECT_EQ(time.components[1].linters[0].why, "24 is no hour (00 to 23)");
  EXPECT_EQ(time.components[2].linters[0].name, "mi");
  EXPECT_TRUE(time.components[3].linters.empty());

  EXPECT_FALSE(report.fields[2].known);
  EXPECT_TRUE(report.fields[3].repeated);
  EXPECT_EQ(gs1::Messages(report.problems, "\n"),
            "(8008) PROD TIME, component 2 (N2): 24 is no hour (00 to 23)\n"
            "(8008) PROD TIME, component 3 ([N2]): 60 is no minute (00 to 59)\n"
            "unknown AI (24): GS1 defines no such AI\n"
            "(8008) PROD TIME, component 2 (N2): 24 is no hour (00 to 23)\n"
            "(8008) PROD TIME, component 3 ([N2]): 60 is no minute (00 to 59)");
  EXPECT_EQ(report.problems[0].ai, "8008");
  EXPECT_EQ(report.problems[0].rule, "hh");
  EXPECT_EQ(report.problems[2].rule, "unknown-ai");
}

TEST(Gs1Parse, TellsTheFormsApartAndKeepsTheSymbology) {
  const std::vector<gs1::Field> expected = {{"01", "09521234543213"}, {"10", "AB(C"}};
  const gs1::Parsed notation = gs1::Parse("(01)09521234543213(10)AB\\(C");
  const gs1::Parsed link = gs1::Parse("https://id.gs1.org/01/09521234543213/10/AB%28C");
  const gs1::Parsed scanned = gs1::Parse("]d2010952123454321310AB(C");
  EXPECT_EQ(notation.fields, expected);
  EXPECT_EQ(link.fields, expected);
  EXPECT_EQ(scanned.fields, expected);
  EXPECT_EQ(scanned.symbologyIdentifier, "]d2");
  EXPECT_EQ(notation.symbologyIdentifier, "");
  EXPECT_EQ(gs1::ToNotation({{"10", "a\\b(c)"}}), "(10)a\\\\b\\(c)");
  const gs1::Built unchecked = gs1::Build("(01)1(02)2", gs1::Checking::kSyntaxOnly);
  EXPECT_TRUE(unchecked.ok());
  EXPECT_EQ(unchecked.elementString, "011022");
  const gs1::Built checked = gs1::Build("(01)1(02)2");
  EXPECT_EQ(checked.elementString, "011022");
  EXPECT_EQ(checked.problems.size(), 4u) << gs1::Messages(checked.problems);
}

}  // namespace
