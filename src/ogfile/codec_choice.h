// The user's pick of a video encoder for an AVI output.
#pragma once

#include <cstdint>
#include <string>

namespace vex::ogfile {

// Shows the encoders that can write frames of `depth` bits into an AVI
// file where a window can show a list; true with the pick in `codec` ("" for
// uncompressed frames), false when the user cancelled or no list can be
// shown (the reason recorded).
bool choose_codec(int32_t depth, std::string &codec);

} // namespace vex::ogfile
