// A private temporary folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <set>
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

// The names of the entries of a folder (files and folders, not recursed):
// what an operation left there, temporaries included.
std::set<std::string> entry_names(const std::filesystem::path &folder);

} // namespace vex::testkit
