// vex_write_kind_samples DIR: one small file of every kind of input the
// sources read (write_kind_samples) into DIR, for tests outside C++ (the
// Python module's); prints "file kind" a line. The list's entries are
// named by their full names in DIR.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "testkit/gfile/kind_samples.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vex_write_kind_samples DIR\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path out = fs::absolute(argv[1]);
  fs::create_directories(out);
  const vex::testkit::TempDir scratch;
  const auto samples = vex::testkit::write_kind_samples(scratch);
  for (const auto &s : samples) {
    fs::copy_file(scratch.path() / s.file, out / s.file, fs::copy_options::overwrite_existing);
    std::printf("%s %d\n", s.file.c_str(), s.kind);
  }
  // The list named the scratch folder's files: name the copies instead.
  std::ofstream(out / "l.lst") << (out / "a.flc").string() << "\n" << (out / "b.flc").string() << " /S2\n";
  return 0;
}
