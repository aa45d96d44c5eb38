// Running the command-line tools from tests.
#pragma once

#include <string>

#include "testkit/util/temp_dir.h"

namespace vex::testkit {

struct ToolRun {
  int status = -1; // exit status; -1 when it could not run or did not exit
  std::string out, err;
};

// Runs `tool args` through the shell with no input, in `cwd` when it is not
// empty; standard output and standard error are kept apart (the latter
// through a file in `dir`).
ToolRun run_tool(const std::string &tool, const std::string &args, const TempDir &dir, const std::string &cwd = "");

} // namespace vex::testkit
