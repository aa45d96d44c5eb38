// A private temporary folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

namespace vex::testkit {

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::filesystem::path &path() const { return path_; }
  // Full name of a file in the folder, as a string for the C interface.
  std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

} // namespace vex::testkit
