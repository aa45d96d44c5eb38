#include "ogfile/output_kind.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "vexutil/ogfile.h"

namespace vex::ogfile {

namespace {

std::string upper(std::string s) {
  for (char &c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct KindRow {
  std::string_view extension; // upper case, with its '.'
  int32_t code;
  bool eight_bit, true_colour; // which frames it takes
  int32_t depth_of_8, depth_of_32;
};

// FLIC (no extension or ".FLC") is only for 8-bit frames, and comes first.
constexpr std::array<KindRow, 10> kKinds{{
    {"", OGFILE_FLIC, true, false, 8, 0},
    {".FLC", OGFILE_FLIC, true, false, 8, 0},
    {".AVI", OGFILE_AVI, true, true, 8, 24},
    {".BMP", OGFILE_BMP, true, true, 8, 24},
    {".JPG", OGFILE_JPEG, true, true, 8, 24},
    {".PNG", OGFILE_PNG, true, true, 8, 24},
    {".TGA", OGFILE_TGA, true, true, 24, 24},
    {".TIF", OGFILE_TIF, true, true, 8, 24},
    {".PCX", OGFILE_PCX, true, false, 8, 0},
    {".GIF", OGFILE_GIF, true, false, 8, 0},
}};

} // namespace

std::string extension_of(const std::string &name) {
  for (size_t i = name.size(); i > 0; --i) {
    const char c = name[i - 1];
    if (c == '.')
      return name.substr(i - 1);
    if (c == '/')
      break;
  }
  return "";
}

std::optional<OutputKind> kind_for(const std::string &extension, bool true_colour) {
  const std::string ext = upper(extension);
  for (const KindRow &k : kKinds)
    if (k.extension == ext && (true_colour ? k.true_colour : k.eight_bit))
      return OutputKind{k.code, true_colour ? k.depth_of_32 : k.depth_of_8};
  return std::nullopt;
}

int digits_for(int32_t n) {
  if (n > 9999)
    return 5;
  if (n >= 1000)
    return 4;
  if (n >= 100)
    return 3;
  if (n >= 10)
    return 2;
  return n >= 2 ? 1 : 0;
}

std::string SeriesName::file(int32_t number) const {
  if (digits == 0)
    return prefix + suffix;
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", digits, static_cast<int>(number));
  return prefix + text + suffix;
}

std::string SeriesName::template_text() const {
  std::string out;
  for (char c : prefix)
    out += c == '%' ? std::string("%%") : std::string(1, c);
  if (digits > 0)
    out += "%0" + std::to_string(digits) + "i";
  for (char c : suffix)
    out += c == '%' ? std::string("%%") : std::string(1, c);
  return out;
}

SeriesName series_for(const std::string &name, int32_t frame_count) {
  SeriesName s;
  s.suffix = extension_of(name);
  s.prefix = name.substr(0, name.size() - s.suffix.size());
  const std::string want = upper(s.suffix);
  const size_t last_slash = name.rfind('/');
  for (size_t at = name.find('.', last_slash == std::string::npos ? 0 : last_slash); at != std::string::npos;
       at = name.find('.', at + 1))
    if (upper(name.substr(at)) == want) {
      s.prefix = name.substr(0, at);
      break;
    }
  s.digits = digits_for(frame_count);
  return s;
}

} // namespace vex::ogfile
