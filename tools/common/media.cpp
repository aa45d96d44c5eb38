// The tables of input and output kinds. Inputs are offered the name in
// order, the first that opens it wins; outputs are chosen by extension.
#include <cctype>
#include <filesystem>

#include "common/flic_input.h"
#include "common/flic_output.h"
#include "common/korvane_input.h"
#include "common/media.h"
#include "common/tolm_input.h"
#include "util/status.h"

namespace vex::tools {

namespace {

struct InputKind {
  const char *name;
  std::unique_ptr<Input> (*open)(const std::string &);
};

const InputKind kInputs[] = {
    {"FLIC", open_flic_input},
    {"Tolm", open_tolm_input},
    {"Korvane", open_korvane_input},
};

struct OutputKind {
  const char *extension; // lower case, without the dot
  std::unique_ptr<Output> (*create)(const OutputSpec &, std::string &);
};

const OutputKind kOutputs[] = {
    {"flc", create_flic_output},
};

std::string lower_extension(const std::string &name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return "";
  std::string ext = name.substr(dot + 1);
  for (char &c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

} // namespace

// Every reader records why it refused the file (util/status.h). A reader
// that knew the file but found it wanting has the most to say; when every
// reader only says the file is not of its kind, the file is of no known
// kind; when none found a file, it is missing.
std::unique_ptr<Input> open_input(const std::string &name, std::string &why) {
  using util::Status;
  std::string not_found, precise;
  bool someone_looked = false;
  for (const InputKind &k : kInputs) {
    if (auto in = k.open(name))
      return in;
    const Status s = util::last_status();
    if (s == Status::kNoFile) {
      if (not_found.empty())
        not_found = util::status_text(s);
    } else if (s == Status::kNotThisFormat) {
      someone_looked = true;
    } else if (precise.empty()) {
      precise = s == Status::kOk ? "it cannot be read" : util::last_reason();
    }
  }
  std::error_code ec;
  if (!precise.empty())
    why = precise;
  else if (someone_looked && std::filesystem::is_regular_file(name, ec) && std::filesystem::file_size(name, ec) == 0)
    why = "the file is empty";
  else if (someone_looked)
    why = "not a file of a known kind";
  else
    why = not_found.empty() ? "it cannot be read" : not_found;
  return nullptr;
}

std::unique_ptr<Output> create_output(const OutputSpec &plan, std::string &why) {
  const std::string ext = lower_extension(plan.name);
  for (const OutputKind &k : kOutputs)
    if (ext == k.extension)
      return k.create(plan, why);
  why = ext.empty() ? "the output name needs an extension (" + output_extensions() + ")"
                    : "no output of kind ." + ext + " (known: " + output_extensions() + ")";
  return nullptr;
}

std::string output_extensions() {
  std::string s;
  for (const OutputKind &k : kOutputs)
    s += (s.empty() ? "." : ", .") + std::string(k.extension);
  return s;
}

double rate_ms(int32_t rate) { return rate >= 0 ? rate : -static_cast<double>(rate) / 100.0; }

double rate_fps(int32_t rate) {
  const double ms = rate_ms(rate);
  return ms > 0 ? 1000.0 / ms : 0.0;
}

} // namespace vex::tools
