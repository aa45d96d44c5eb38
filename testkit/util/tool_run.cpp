#include "testkit/util/tool_run.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "testkit/util/ffmpeg_tool.h"

namespace vex::testkit {

ToolRun run_tool(const std::string &tool, const std::string &args, const TempDir &dir, const std::string &cwd) {
  const std::string err = dir.file("stderr.txt");
  const std::string cmd = (cwd.empty() ? "" : "cd " + shell_quote(cwd) + " && ") + shell_quote(tool) + " " + args +
                          " </dev/null 2>" + shell_quote(err);
  ToolRun r;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p)
    return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream e(err, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
  return r;
}

} // namespace vex::testkit
