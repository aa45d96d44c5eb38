// ImageMagick's command-line tool as an independent maker and decoder of
// still images (TIFFs with associated and unassociated alpha, among
// others). The tool is found at run time under the names Debian's
// packages give it (magick, convert-im6.q16, convert-im6, convert), each
// checked to be ImageMagick; every helper throws std::runtime_error with
// the command line when it is missing or fails, so a test never passes by
// skipping its oracle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit {

// Full command of the converter ("/usr/bin/convert-im6.q16"); throws when
// no ImageMagick is installed.
const std::string &imagemagick_command();
// Runs `<converter> <args>`; throws on failure.
void imagemagick(const std::string &args);
// Every pixel of the file's first image as red, green, blue, alpha bytes,
// rows top first, as ImageMagick decodes it (8 bits per sample).
std::vector<uint8_t> imagemagick_rgba(const std::string &file);

} // namespace vex::testkit
