#include "host/cli/json.h"

#include <cmath>
#include <cstdio>

namespace cli::json {

Value& Value::Add(std::string key, Value value) {
  if (std::holds_alternative<std::nullptr_t>(data_)) data_ = Object{};
  std::get<Object>(data_).emplace_back(std::move(key), std::move(value));
  return *this;
}

Value& Value::Push(Value value) {
  if (std::holds_alternative<std::nullptr_t>(data_)) data_ = Array{};
  std::get<Array>(data_).push_back(std::move(value));
  return *this;
}

std::string Value::Dump(int indent) const {
  std::string out;
  Write(out, indent, 0);
  return out;
}

namespace {

void NewLine(std::string& out, int indent, int level) {
  if (indent == 0) return;
  out += '\n';
  out.append(static_cast<std::size_t>(indent) * static_cast<std::size_t>(level), ' ');
}

// The items of an array or object between its two brackets, one a line when
// indenting; an empty one stays "[]" or "{}".
template <typename WriteItem>
void WriteItems(std::string& out, int indent, int level, const char (&brackets)[3],
                std::size_t count, const WriteItem& writeItem) {
  if (count == 0) {
    out += brackets;
    return;
  }
  out += brackets[0];
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += indent == 0 ? ", " : ",";
    NewLine(out, indent, level + 1);
    writeItem(i);
  }
  NewLine(out, indent, level);
  out += brackets[1];
}

}  // namespace

void Value::Write(std::string& out, int indent, int level) const {
  if (std::holds_alternative<std::nullptr_t>(data_)) {
    out += "null";
  } else if (const bool* flag = std::get_if<bool>(&data_)) {
    out += *flag ? "true" : "false";
  } else if (const std::int64_t* number = std::get_if<std::int64_t>(&data_)) {
    out += std::to_string(*number);
  } else if (const double* real = std::get_if<double>(&data_)) {
    // JSON has no NaN or infinity; a latency is never either, but stay valid.
    if (!std::isfinite(*real)) {
      out += "null";
    } else {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.3f", *real);
      out += buffer;
    }
  } else if (const std::string* text = std::get_if<std::string>(&data_)) {
    out += Quote(*text);
  } else if (const Array* array = std::get_if<Array>(&data_)) {
    WriteItems(out, indent, level, "[]", array->size(),
               [&](std::size_t i) { (*array)[i].Write(out, indent, level + 1); });
  } else if (const Object* object = std::get_if<Object>(&data_)) {
    WriteItems(out, indent, level, "{}", object->size(), [&](std::size_t i) {
      out += Quote((*object)[i].first);
      out += ": ";
      (*object)[i].second.Write(out, indent, level + 1);
    });
  }
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace cli::json
