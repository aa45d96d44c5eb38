#include "testkit/executable/pe_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "testkit/util/wav_file.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"

namespace vex::testkit {
namespace {

void run(const std::string &command) {
  if (std::system((command + " > /dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("failed (is binutils-mingw-w64-i686 installed?): " + command);
}

std::string rc_text(const std::vector<std::pair<uint32_t, std::string>> &strings) {
  std::string rc = "STRINGTABLE\nBEGIN\n";
  for (const auto &[id, text] : strings)
    rc += "  " + std::to_string(id) + ", \"" + text + "\"\n";
  return rc + "END\n";
}

} // namespace

std::vector<uint8_t> executable_with_strings(const std::vector<std::pair<uint32_t, std::string>> &strings) {
  TempDir dir;
  const std::string obj = dir.file("image.o"), exe = dir.file("image.exe");
  if (strings.empty()) {
    const std::string s = dir.file("nop.s");
    std::ofstream(s) << ".text\nnop\n";
    run("i686-w64-mingw32-as " + shell_quote(s) + " -o " + shell_quote(obj));
  } else {
    const std::string rc = dir.file("strings.rc");
    std::ofstream(rc) << rc_text(strings);
    // The host's preprocessor stands in for the cross compiler's.
    run("i686-w64-mingw32-windres --preprocessor=cpp -O coff " + shell_quote(rc) + " -o " + shell_quote(obj));
  }
  run("i686-w64-mingw32-ld -e 0 --subsystem windows -o " + shell_quote(exe) + " " + shell_quote(obj));
  return read_file(exe);
}

std::vector<uint8_t> executable_with_movie(const std::vector<uint8_t> &movie, uint32_t *offset,
                                           const std::string &prefix) {
  // The number has a fixed width, so the image is as long with the real
  // offset as with a stand-in.
  auto image_for = [&](uint32_t at) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010u", at);
    return executable_with_strings({{1, prefix + digits}, {2, "a second string"}});
  };
  const uint32_t at = static_cast<uint32_t>(image_for(0).size());
  std::vector<uint8_t> image = image_for(at);
  if (image.size() != at)
    throw std::runtime_error("the image changed length with its offset");
  image.insert(image.end(), movie.begin(), movie.end());
  if (offset)
    *offset = at;
  return image;
}

} // namespace vex::testkit
