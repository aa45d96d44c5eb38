#include "open_options.h"

#include <cstring>
#include <vector>

#include "vexutil/gfile.h"
#include "vexutil/util.h"

namespace vexpy {
namespace {

enum class Value { Integer, Rate, Window, Path };

struct Option {
  const char *name;
  const char *letters; // one switch letter per component (crop: X Y W H)
  Value value;
  const char *help;
};

// Every switch GFileCommandLine reads, by the name Python callers use.
constexpr Option kOptions[] = {
    {"first", "S", Value::Integer, "first frame, from 1 (0: the first)"},
    {"last", "E", Value::Integer, "last frame, from 1 (0: to the end)"},
    {"fps", "F", Value::Rate, "playback rate: the input's frames shown at this rate"},
    {"output_fps", "A", Value::Rate, "output rate: frames dropped or repeated to reach it"},
    {"crop", "XYWH", Value::Window, "(x, y, width, height) output window; width/height 0: the input's"},
    {"promotion", "T", Value::Integer, "24-bit promotion: 0 automatic, 1 always, 2 never"},
    {"palette_mode", "P", Value::Integer, "palette analysis: 0 keep own palettes, 1 build, 2 build and follow"},
    {"palette_period", "U", Value::Integer, "at most this many frames share one palette (0: 65536)"},
    {"palette_entries", "Q", Value::Integer, "palette entries the frames may use (0: 256)"},
    {"first_index", "I", Value::Integer, "first of those entries (default: centred)"},
    {"palette_split", "$", Value::Integer, "entries that alternate between successive palettes"},
    {"system_colours", "D", Value::Integer, "0 built palettes keep the 20 system colours, 1 all, 2 none"},
    {"palette_file", "&", Value::Path, "a picture or movie whose colours make the palettes"},
};

[[noreturn]] void refuse(const std::string &name, const std::string &why) {
  raise_error("OptionError", "option " + name + ": " + why, why);
}

std::string integer_text(const std::string &name, const py::handle &value) {
  if (py::isinstance<py::bool_>(value) || !py::isinstance<py::int_>(value))
    refuse(name, "expects an integer");
  const auto n = value.cast<long long>();
  if (n < INT32_MIN || n > INT32_MAX)
    refuse(name, "out of range");
  return std::to_string(n);
}

// Rates are exact: an int or Fraction becomes "num;den", a float its
// shortest decimal text (29.97 stays 2997/100), a str is taken as written.
std::string rate_text(const std::string &name, const py::handle &value) {
  if (py::isinstance<py::str>(value))
    return value.cast<std::string>();
  if (py::isinstance<py::float_>(value))
    return py::repr(value).cast<std::string>();
  if (py::isinstance<py::bool_>(value) || !py::hasattr(value, "numerator") || !py::hasattr(value, "denominator"))
    refuse(name, "expects a number, a Fraction or a text such as '30000;1001'");
  const auto num = value.attr("numerator").cast<long long>();
  const auto den = value.attr("denominator").cast<long long>();
  if (num < INT32_MIN || num > UINT32_MAX || den <= 0 || den > UINT32_MAX)
    refuse(name, "out of range");
  return std::to_string(num) + ";" + std::to_string(den);
}

void append(std::string &cmd, char letter, const std::string &text) {
  cmd += " /";
  cmd += letter;
  cmd += text;
}

void append_option(std::string &cmd, const Option &o, const py::handle &value) {
  switch (o.value) {
  case Value::Integer: append(cmd, o.letters[0], integer_text(o.name, value)); break;
  case Value::Rate: append(cmd, o.letters[0], rate_text(o.name, value)); break;
  case Value::Window: {
    const auto items = py::reinterpret_borrow<py::object>(value);
    if (!py::isinstance<py::sequence>(items) || py::len(items) != 4)
      refuse(o.name, "expects (x, y, width, height)");
    for (size_t i = 0; i < 4; ++i)
      append(cmd, o.letters[i], integer_text(o.name, items[py::int_(i)]));
    break;
  }
  case Value::Path: {
    const auto path = py::str(py::module_::import("os").attr("fspath")(value)).cast<std::string>();
    if (path.size() > 127 || path.find('"') != std::string::npos)
      refuse(o.name, "a name of at most 127 characters without double quotes");
    if (!path.empty())
      append(cmd, o.letters[0], "\"" + path + "\"");
    break;
  }
  }
}

} // namespace

OpenArguments parse_open_options(const py::dict &options) {
  OpenArguments a;
  std::string cmd;
  for (const auto &[key, value] : options) {
    const auto name = py::str(key).cast<std::string>();
    const Option *found = nullptr;
    for (const auto &o : kOptions)
      if (name == o.name)
        found = &o;
    if (found == nullptr)
      refuse(name, "unknown (see vexutil.OPEN_OPTIONS)");
    if (!value.is_none())
      append_option(cmd, *found, value);
  }
  a.switches = cmd;
  std::vector<char> text(cmd.begin(), cmd.end());
  text.push_back('\0');
  GFileCommandLine(text.data(), &a.play_num, &a.play_den, &a.out_num, &a.out_den, &a.crop_x, &a.crop_y, &a.crop_width,
                   &a.crop_height, &a.first, &a.last, &a.palette_mode, &a.palette_period, &a.first_index,
                   &a.palette_entries, &a.palette_split, &a.system_colours, &a.promotion, a.palette_file);
  // Whatever the parser left did not read as a switch value ("/Fabc").
  Trim(text.data());
  TrimL(text.data());
  if (text[0] != '\0')
    raise_error("OptionError", "options not understood: " + std::string(text.data()), text.data());
  return a;
}

void register_options(py::module_ &m) {
  py::dict table;
  for (const auto &o : kOptions) {
    std::string switches;
    for (const char *l = o.letters; *l != '\0'; ++l)
      switches += std::string(switches.empty() ? "/" : " /") + *l;
    table[o.name] = py::make_tuple(switches, o.help);
  }
  m.attr("OPEN_OPTIONS") = table;
}

} // namespace vexpy
