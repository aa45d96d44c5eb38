// The caller's message callback as palette building sees it: a text and
// its level (1 for the first message of a stage, 0 for the ones after it);
// a non-zero answer to a progress message asks to stop.
#pragma once

#include <cstdint>
#include <functional>

namespace vex::palette {

using MessageFn = std::function<int32_t(const char *text, int32_t level)>;

inline constexpr const char *kReducingText = "Reducing the number of colors (%i%%)...";
inline constexpr const char *kPlacingText = "Minimizing palette changes...";

} // namespace vex::palette
