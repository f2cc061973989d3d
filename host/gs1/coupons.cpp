// North American coupon codes (8110) and paperless coupon codes (8112):
// digits in fields whose lengths are given by indicator digits before them.
#include "host/gs1/lint_rules.h"

namespace gs1::lint {

namespace {

std::string Digits(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " digit" : " digits");
}

struct Refusal {
  std::string why;
};

// Reads the fields in order, throwing Refusal at the first that is wrong.
class Fields {
 public:
  explicit Fields(std::string_view text) : text_(text) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] < '0' || text[i] > '9')
        throw Refusal{"a coupon code holds digits only; character " + std::to_string(i + 1) +
                      " is " + ShowCharacter(text[i])};
  }

  bool done() const { return at_ == text_.size(); }
  std::size_t left() const { return text_.size() - at_; }

  std::string_view Take(std::size_t count, const std::string& what) {
    if (left() < count)
      throw Refusal{"the coupon ends inside its " + what + " (" + Digits(count) + ")"};
    const std::string_view digits = text_.substr(at_, count);
    at_ += count;
    return digits;
  }

  // One digit, which must be one of `allowed`.
  std::size_t Digit(const std::string& what, std::string_view allowed) {
    const char digit = Take(1, what)[0];
    if (allowed.find(digit) == std::string_view::npos)
      throw Refusal{"the coupon's " + what + " is " + digit + ", not one of " +
                    std::string(allowed)};
    return static_cast<std::size_t>(digit - '0');
  }

  // A length indicator digit, then as many digits as it says (plus `base`).
  void Counted(const std::string& what, std::string_view allowed, std::size_t base) {
    const std::size_t length = Digit(what + " length indicator", allowed) + base;
    Take(length, what);
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::string_view Date(Fields& fields, const std::string& what) {
  const std::string_view date = fields.Take(6, what);
  if (LintResult why = Yymmdd(date)) throw Refusal{"the coupon's " + what + ": " + *why};
  return date;
}

// The second and third qualifying purchases share their shape.
void Purchase(Fields& fields, const std::string& which) {
  fields.Counted(which + " purchase requirement", "12345", 0);
  fields.Digit(which + " purchase requirement code", "012349");
  fields.Take(3, which + " purchase family code");
  // 9: the purchase is of the primary company's products.
  const std::size_t prefix =
      fields.Digit(which + " purchase company prefix length indicator", "01234569");
  if (prefix != 9) fields.Take(prefix + 6, which + " purchase GS1 Company Prefix");
}

void ReadCouponCode(std::string_view part) {
  Fields fields(part);
  fields.Counted("GS1 Company Prefix", "0123456", 6);
  fields.Take(6, "offer code");
  fields.Counted("save value", "12345", 0);
  fields.Counted("primary purchase requirement", "12345", 0);
  fields.Digit("primary purchase requirement code", "012349");
  fields.Take(3, "primary purchase family code");
  // Optional fields, each once and in ascending order of their indicator.
  std::size_t last = 0;
  std::string_view expiry, start;
  while (!fields.done()) {
    const std::size_t field = fields.Digit("optional field indicator", "1234569");
    if (field <= last)
      throw Refusal{"the coupon's optional field " + std::to_string(field) + " follows field " +
                    std::to_string(last) + " (they come once each, in ascending order)"};
    last = field;
    switch (field) {
      case 1:
        fields.Digit("additional purchase rules code", "0123");
        Purchase(fields, "second");
        break;
      case 2:
        Purchase(fields, "third");
        break;
      case 3:
        expiry = Date(fields, "expiration date");
        break;
      case 4:
        start = Date(fields, "start date");
        break;
      case 5:
        fields.Counted("serial number", "0123456789", 6);
        break;
      case 6:
        fields.Counted("retailer GS1 Company Prefix or GLN", "1234567", 6);
        break;
      default:
        fields.Digit("save value code", "01256");
        fields.Digit("save value applies-to-item digit", "012");
        fields.Digit("store coupon flag", "0123456789");
        fields.Digit("don't multiply flag", "01");
        break;
    }
  }
  if (!expiry.empty() && !start.empty() && start > expiry)
    throw Refusal{"the coupon's start date " + std::string(start) +
                  " is after its expiration date " + std::string(expiry)};
}

void ReadPositiveOffer(std::string_view part) {
  Fields fields(part);
  fields.Digit("format identifier", "01");
  fields.Counted("funder ID", "0123456", 6);
  fields.Take(6, "offer code");
  fields.Counted("serial number", "0123456789", 6);
  if (!fields.done())
    throw Refusal{"the coupon has " + Digits(fields.left()) + " after its serial number"};
}

LintResult Refused(void (*read)(std::string_view), std::string_view part) {
  try {
    read(part);
  } catch (const Refusal& refusal) {
    return refusal.why;
  }
  return std::nullopt;
}

}  // namespace

LintResult CouponCode(std::string_view part) { return Refused(ReadCouponCode, part); }
LintResult CouponPosOffer(std::string_view part) { return Refused(ReadPositiveOffer, part); }

}  // namespace gs1::lint
