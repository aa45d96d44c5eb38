#include "testkit/util/temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace vex::testkit {

TempDir::TempDir() {
  // Short names matter: the file layer refuses names of 128 characters.
  std::string pattern = (std::filesystem::temp_directory_path() / "vex-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::set<std::string> entry_names(const std::filesystem::path &folder) {
  std::set<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(folder))
    names.insert(e.path().filename().string());
  return names;
}

} // namespace vex::testkit
