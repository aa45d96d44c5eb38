#include "lists/input_files.h"

#include <algorithm>

namespace vex::lists {

const InputFile &InputFiles::get(const std::string &name) {
  const auto known = std::find_if(files_.begin(), files_.end(), [&](const auto &f) { return f->name == name; });
  if (known != files_.end()) {
    const InputFile &f = **known;
    if (!f.exists())
      util::fail(f.status, "%s", f.reason.c_str());
    return f;
  }
  auto f = std::make_shared<InputFile>();
  f->name = name;
  if (name.empty()) {
    util::fail(util::Status::kNoFile, "no file name");
    f->status = util::Status::kNoFile;
    f->reason = util::last_reason();
  } else if (f->source.open(name.c_str()) != util::Status::kOk) {
    f->status = util::last_status();
    f->reason = util::last_reason();
  } else {
    f->prefix.resize(static_cast<size_t>(std::min<uint64_t>(kPrefixBytes, f->source.size())));
    f->prefix.resize(f->source.read_at(0, f->prefix.data(), f->prefix.size()));
  }
  files_.push_back(std::move(f));
  return *files_.back();
}

} // namespace vex::lists
