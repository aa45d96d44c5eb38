#include "tests/ui/ui_test_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "testkit/util/expect_text.h"

#if defined(__SANITIZE_ADDRESS__)
// GTK, GDK, GLib, fontconfig and friends keep caches for the life of the
// process that the leak checker cannot tell from leaks; what they allocate
// is not ours. Everything else must be freed.
extern "C" __attribute__((visibility("default"))) const char *__lsan_default_suppressions() {
  return "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\nleak:libfontconfig.so\nleak:libpango\nleak:libcairo.so\nleak:libX11.so\n"
         "leak:libatk\nleak:libdbus\nleak:libharfbuzz.so\nleak:libgdk_pixbuf\n";
}
#endif

namespace vex::ui::test {

void use_terminal_front() {
  setenv("VEXUTIL_UI", "terminal", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

ChildResult detached(const std::function<int()> &body, bool terminal_only, std::chrono::milliseconds limit) {
  return testkit::run_child(
      [&] {
        setsid(); // no controlling terminal from here on
        dup2(open("/dev/null", O_RDWR), STDIN_FILENO);
        if (terminal_only)
          use_terminal_front();
        return body();
      },
      {.timeout = limit});
}

const char *convert_dialog() {
  static const std::string xml = [] {
    std::ifstream in(VEX_TEST_UI_DIR "/convert_dialog.ui");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  return xml.c_str();
}

void expect_child(const ChildResult &r, int status, std::initializer_list<std::string> said,
                  std::initializer_list<std::string> unsaid) {
  const std::string output = r.out + r.err;
  EXPECT_FALSE(r.timed_out) << "the child ran past its time limit (waiting for input that cannot come?)\n" << output;
  EXPECT_EQ(r.status, status) << (status == 0 && r.status > 0 ? "failed check at line " + std::to_string(r.status) : "")
                              << "\n"
                              << output;
  testkit::expect_contains(output, said);
  testkit::expect_lacks(output, unsaid);
}

} // namespace vex::ui::test
