// The two checks before an output file is written: ask before replacing
// an existing file, and refuse an output that is the input itself.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "ui/text_line.h"
#include "vexutil/file.h"
#include "vexutil/ui.h"
#include "vexutil/util.h"

namespace vex::ui {

namespace {

constexpr const char *kSameFile = "Output filename must be different than the input filename.";
constexpr size_t kPathBuffer = 256; // what ExpandFileName needs

// Whether the file can be opened for reading; a name too long for the file
// layer is tried directly, so that a long name is never taken as absent.
bool readable(const char *name) {
  if (std::strlen(name) < VEXFILE_NAME_SIZE) {
    VEXFILE *f = VEXFileOpen(0, name, VEXFILE_READ);
    if (!f)
      return false;
    VEXFileClose(f);
    return true;
  }
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  ::close(fd);
  return true;
}

// The full path of a name. A name too long for the expansion buffer is
// compared as written, which still tells two different names apart.
std::string expanded(const char *name) {
  const size_t n = std::strlen(name);
  if (n >= kPathBuffer)
    return name;
  char buffer[kPathBuffer];
  std::memcpy(buffer, name, n + 1);
  ExpandFileName(buffer);
  return buffer;
}

// Both names lead to one file: the same device and inode (hard and
// symbolic links, "./x" and "/dir/x"), or, for files that do not exist
// yet, the same full path. Letter case counts, as it does on Linux.
bool same_file(const char *input, const char *output) {
  struct stat a {}, b {};
  if (::stat(input, &a) == 0 && ::stat(output, &b) == 0)
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  return expanded(input) == expanded(output);
}

} // namespace

} // namespace vex::ui

extern "C" uint8_t overwrite(const char *name, int32_t use_dialog) {
  if (!name || !vex::ui::readable(name))
    return 1;
  const std::string question = vex::ui::overwrite_question(name);
  if (use_dialog == 0)
    return StatusAsk(question.c_str(), 1);
  return VEXDialogAsk(question.c_str(), 0) == 1 ? 1 : 0;
}

extern "C" uint8_t CheckForDup(const char *input, const char *output) {
  if (!input || !output || !vex::ui::same_file(input, output))
    return 1;
  StatusMessage(vex::ui::kSameFile, 1);
  return 0;
}
