// File names: extensions, full paths, directory tests, pieces of a path and
// numbered temporary names. Paths use '/', and there are no drives: the
// drive piece of a path is always empty.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "util/text_util.h"
#include "vexutil/util.h"

namespace {

// Longest full path the callers' 256-byte buffers take.
constexpr size_t kMaxPath = 255;

bool copy_back(char *dest, const std::string &s) {
  if (s.size() > kMaxPath)
    return false;
  std::memcpy(dest, s.c_str(), s.size() + 1);
  return true;
}

std::string current_directory() {
  std::vector<char> buf(4096);
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE || buf.size() > (1u << 20))
      return {};
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

// Absolute, lexically normalised form of name: completed from the current
// directory, "." and ".." resolved, repeated '/' merged. A trailing '/'
// is kept, since callers test for it. Empty when it cannot be formed.
std::string full_path(std::string_view name) {
  if (name.empty())
    return {};
  std::string joined = name.front() == '/' ? std::string(name) : current_directory() + "/" + std::string(name);
  if (joined.front() != '/')
    return {};
  std::vector<std::string_view> parts;
  std::string_view rest(joined);
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (auto part : parts) {
    out += '/';
    out += part;
  }
  const char last = name.back();
  const bool dir_form = last == '/' || name.ends_with("/.") || name.ends_with("/..") || name == "." || name == "..";
  if (out.empty() || dir_form)
    out += '/';
  if (out.size() > 1 && out.ends_with("//"))
    out.pop_back();
  return out;
}

} // namespace

extern "C" char *HasExtension(const char *name) {
  if (!name)
    return nullptr;
  for (size_t i = std::strlen(name); i > 0; --i) {
    const char c = name[i - 1];
    if (c == '.')
      return const_cast<char *>(name + i - 1);
    if (c == '/' || c == ':')
      return nullptr;
  }
  return nullptr;
}

extern "C" void ExpandFileName(char *path) {
  if (!path)
    return;
  const std::string full = full_path(path);
  if (!full.empty())
    copy_back(path, full); // a result over 255 characters leaves path as it was
}

extern "C" int32_t GetDrive(char *path) {
  if (!path)
    return 0;
  ExpandFileName(path);
  return vex::util::upper(path[0]);
}

extern "C" int32_t IsDirectory(char *path, int32_t stay) {
  if (!path)
    return 0;
  // Work on a copy: the separator and '*' may not fit the caller's buffer.
  std::string p(path);
  while (!p.empty() && vex::util::is_blank(p.back()))
    p.pop_back();
  size_t lead = 0;
  while (lead < p.size() && vex::util::is_blank(p[lead]))
    ++lead;
  p.erase(0, lead);
  if (p.empty())
    return 0;
  if (p.back() != '/')
    p += '/';
  p = full_path(p + "*");
  if (p.size() < 2)
    return 0;
  p.resize(p.size() - (p.size() == 2 ? 1 : 2)); // "/*" keeps the root's '/'
  if (!copy_back(path, p))
    return 0;
  // The current directory is the process's: only a caller that asks to
  // stay changes it. Asking the system whether a directory could be
  // entered leaves it alone for every other thread.
  if (!stay) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(p.c_str(), X_OK) == 0 ? 1 : 0;
  }
  return chdir(p.c_str()) == 0 ? 1 : 0;
}

extern "C" void GetFilePieces(char *path, int32_t drive, int32_t dir, int32_t name, int32_t ext) {
  (void)drive; // no drives here: the drive piece is always empty
  if (!path)
    return;
  Trim(path);
  if (path[0] == '\0')
    return;
  ExpandFileName(path);
  const bool is_dir = IsDirectory(path, 0) != 0;
  std::string p(path);
  if (is_dir && p.back() != '/')
    p += '/';
  const size_t slash = p.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string{} : p.substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
  const size_t dot = file.rfind('.');
  const std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string{} : file.substr(dot);
  std::string out;
  if (dir)
    out += directory;
  if (name && !is_dir)
    out += stem;
  if (ext && !is_dir)
    out += extension;
  copy_back(path, out);
}

extern "C" char *GetTempName(char *dest, const char *dir, const char *prefix, uint32_t n) {
  if (!dest)
    return dest;
  std::array<char, 12> letters{};
  for (size_t i = 0; i < letters.size(); ++i) {
    const uint32_t shift = 4 * static_cast<uint32_t>(i);
    letters[i] = static_cast<char>('A' + (shift < 32 ? (n >> shift) & 15u : 0u));
  }
  const size_t plen = prefix ? std::min(std::strlen(prefix), letters.size()) : 0;
  if (plen > 0)
    std::memcpy(letters.data(), prefix, plen);
  letters[8] = '.';
  const size_t dlen = dir ? std::strlen(dir) : 0;
  std::memmove(dest, dir ? dir : "", dlen);
  std::memcpy(dest + dlen, letters.data(), letters.size());
  dest[dlen + letters.size()] = '\0';
  return dest;
}
