// GS1 element strings, exactly as GS1 defines them: read from AI notation,
// Digital Link URIs or a scanner's bytes, checked against GS1's Barcode
// Syntax Dictionary (every AI, component, linter and pairing rule it holds),
// explained, and written back.
//
//   gs1::Built built = gs1::Build("(01)09521234543213(10)ABC(17)251231");
//   built.ok();             // true: every check holds
//   built.elementString;    // "0109521234543213" "10ABC" "\x1d" "17251231"
//
//   gs1::Parsed scanned = gs1::ParseElementString("]d2010952123454321310ABC");
//   gs1::ToNotation(scanned.fields);    // "(01)09521234543213(10)ABC"
//   gs1::Explain(scanned.fields);       // per field, per component, per linter
//
// Every problem is a value (Problem), so a caller can list all of them; the
// functions throw nothing but std::bad_alloc (and, on first use,
// std::invalid_argument if the embedded dictionary could not be read, which
// gs1_tests rules out). The dictionary's entries are in host/gs1/dictionary.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gs1 {

// What a scanner sends for FNC1 between fields: ASCII GS.
inline constexpr char kGroupSeparator = '\x1d';

// One element: an AI ("01", "3103", "8008") and its value, as data (no escapes).
struct Field {
  std::string ai;
  std::string value;
  bool operator==(const Field&) const = default;
};

// One thing that is wrong, for people and for programs.
struct Problem {
  std::string ai;  // the AI it concerns, or empty when it is about the input as a whole
  // Which rule: "syntax" (the notation, URI or element string cannot be
  // read), "digital-link" (a Digital Link rule: qualifiers, attributes),
  // "unknown-ai", "length", "characters", a linter's name as the dictionary
  // writes it ("csum", "yymmd0", "iso3166", ...), "req" (a required AI is
  // missing), "ex" (two AIs that exclude each other), "repeat" (one AI with
  // two values).
  std::string rule;
  // A sentence naming the AI, its title, the component and what was expected:
  // "(01) GTIN: wrong check digit 9, expected 8",
  // "(17) USE BY or EXPIRY: 300230 is no date (February has no day 30)".
  std::string message;
};

// Every message, joined by `separator`.
std::string Messages(const std::vector<Problem>& problems, std::string_view separator = "; ");

// What a parser read. A parser stops at the first syntax problem: `fields`
// then holds what it read before it.
struct Parsed {
  std::vector<Field> fields;
  // What reading found: "syntax" problems, and a Digital Link's own rules
  // ("digital-link"). Check the fields for the rest.
  std::vector<Problem> problems;
  std::string symbologyIdentifier;  // "]d2" when an element string began with one
  bool ok() const { return problems.empty(); }
};

// AI notation: "(01)09521234543213(21)ABC". Each AI is 2 to 4 digits in
// parentheses; a value runs to the next "(", so a "(" inside a value is
// written "\(" and a backslash "\\". Empty input, text before the first AI,
// an unclosed or non-numeric AI, a lone "(" or a backslash before anything
// else are syntax problems.
Parsed ParseNotation(std::string_view notation);

// A GS1 Digital Link URI:
// "https://id.gs1.org/01/09521234543213/22/ABC/10/X?17=251231&3103=000500".
// http or https and a host; the path may begin with segments of its own, then
// holds a primary key (an AI the dictionary marks "dlpkey") and its value,
// then qualifiers in one of the orders the key allows; the query may add
// attributes (only AIs the dictionary flags "?"; other keys such as linkType
// are ignored). Values are percent-decoded; a GTIN of 8, 12 or 13 digits is
// padded to 14. Fields come in the URI's order: key, qualifiers, attributes.
// Qualifiers out of order, an attribute not flagged "?" or an AI both in the
// path and in the query are "digital-link" problems: the fields are whole.
Parsed ParseDigitalLink(std::string_view uri);

// An element string as a scanner delivers it: optionally a symbology
// identifier of a GS1 carrier (]C1 GS1-128, ]e0 GS1 DataBar, ]d2 GS1
// DataMatrix, ]Q3 GS1 QR Code, ]J1 GS1 DotCode) or a leading GS (FNC1), then
// AI and value, one after the other; a field of predefined length ends after
// its length, any other at the next GS or at the end. Each AI must be one
// the dictionary defines, or the rest cannot be split.
Parsed ParseElementString(std::string_view data);

// By its look: "(" starts AI notation, "http://" or "https://" a Digital
// Link, anything else is an element string.
Parsed Parse(std::string_view text);

// AI notation, with "(" and "\" in values escaped: ParseNotation reads it back.
std::string ToNotation(const std::vector<Field>& fields);
// The element string: AIs and values one after the other, a GS after each
// field whose AI is not of predefined length, unless it is the last. No
// checks: an AI the dictionary does not know is followed by a GS.
std::string ToElementString(const std::vector<Field>& fields);

// ---- Checks and explanations ------------------------------------------------

// A linter's verdict on a component.
struct LinterVerdict {
  std::string name;    // "csum"
  std::string checks;  // what it verifies: "GS1 mod-10 check digit"
  bool ok = true;
  std::string why;  // when it fails: "wrong check digit 9, expected 8"
};

// One component of a field's value, as the dictionary defines it.
struct ComponentReport {
  std::string type;          // as the dictionary writes it: "N13", "X..20", "[N3]"
  std::string characterSet;  // "digits", "GS1 character set 82", ...
  bool present = true;       // false: an optional component the value leaves out
  std::string part;          // the characters of the value it covers
  // Each linter's verdict; empty when the value's length is wrong or the part
  // holds a character outside its set, since its linters are then not run.
  std::vector<LinterVerdict> linters;
  bool ok = true;
};

struct FieldReport {
  Field field;
  bool known = false;             // the dictionary defines the AI
  std::string title;              // "GTIN"; empty when unknown or when the dictionary gives none
  bool predefinedLength = false;  // no GS needed after it
  bool repeated = false;          // the same AI with the same value came before: it counts once
  std::vector<ComponentReport> components;
  std::vector<Problem> problems;  // this field's own (unknown AI, length, characters, linters)
  bool ok() const { return problems.empty(); }
};

struct Report {
  std::vector<FieldReport> fields;
  // Every problem: each field's in order, then over all fields the repeats
  // and the pairing rules (req, ex), in the order of the fields.
  std::vector<Problem> problems;
  bool ok() const { return problems.empty(); }
};

// Checks every field against the dictionary: the AI exists; the value's
// length; each component's characters (N digits, X set 82, Y set 39, Z set
// 64) and linters; then, over all fields, each "req=" (one of its
// alternatives present), each "ex=" (no excluded AI present but the AI
// itself) and repeats (one AI twice with different values; identical ones
// are allowed and count once). Unknown AIs take no part in the pairing rules.
Report Explain(const std::vector<Field>& fields);
// The problems of Explain alone.
std::vector<Problem> Check(const std::vector<Field>& fields);

// ---- Building ---------------------------------------------------------------

enum class Checking {
  kFull,        // parse, then Check
  kSyntaxOnly,  // parse only: for negative tests that need a wrong code
};

struct Built {
  std::vector<Field> fields;
  std::string elementString;  // set whenever the notation parses, even when checks fail
  std::vector<Problem> problems;
  bool ok() const { return problems.empty(); }
};

// The element string of an AI notation, with its fields and its problems.
Built Build(std::string_view notation, Checking checking = Checking::kFull);

}  // namespace gs1
