// A hotkey as X sees it: a keycode and a modifier mask.
#pragma once

#include <cstdint>

namespace wedgesim {

struct Hotkey {
  std::int32_t keycode;
  std::int32_t modifiers;  // the full state mask a capture saw (lock and button bits included)
};

// X keycodes are 8 to 255; anything else names no key.
inline bool IsKeycode(std::int64_t value) { return value >= 8 && value <= 255; }

}  // namespace wedgesim
