// A conversion to a narrower integer that is known to fit, written once: a
// plain cast would be useless in one width and needed in the other (size_t is
// 64-bit on x86-64, 32-bit on x86).
#pragma once

namespace wedgesim {

template <typename To, typename From>
constexpr To Narrow(From value) {
  return static_cast<To>(value);
}

}  // namespace wedgesim
