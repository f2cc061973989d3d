// A small JSON value for the --json output: just enough to build documents
// in a fixed key order and write them out, compact or indented.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace cli::json {

class Value;
using Array = std::vector<Value>;
// Members keep the order they were added in, so output reads like the text form.
using Object = std::vector<std::pair<std::string, Value>>;

class Value {
 public:
  Value() = default;  // null
  Value(std::nullptr_t) {}
  Value(bool value) : data_(value) {}
  Value(int value) : data_(std::int64_t{value}) {}
  Value(long value) : data_(std::int64_t{value}) {}
  Value(long long value) : data_(std::int64_t{value}) {}
  Value(unsigned value) : data_(std::int64_t{value}) {}
  Value(unsigned long value) : data_(static_cast<std::int64_t>(value)) {}
  Value(double value) : data_(value) {}
  Value(const char* value) : data_(std::string(value)) {}
  Value(std::string value) : data_(std::move(value)) {}
  Value(Array value) : data_(std::move(value)) {}
  Value(Object value) : data_(std::move(value)) {}

  // Appends a member; the value must be an object (a null becomes one).
  Value& Add(std::string key, Value value);
  // Appends an element; the value must be an array (a null becomes one).
  Value& Push(Value value);

  // indent 0 writes one line (JSON Lines); otherwise nested levels are
  // indented by that many blanks.
  std::string Dump(int indent = 2) const;

 private:
  void Write(std::string& out, int indent, int level) const;

  std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object> data_ =
      nullptr;
};

// A JSON string literal, quotes included. The text must be UTF-8 (everything
// we print comes from hostkit::Utf8, which never yields invalid sequences);
// control characters are escaped so a barcode with a GS separator stays on
// one line.
std::string Quote(const std::string& text);

}  // namespace cli::json
