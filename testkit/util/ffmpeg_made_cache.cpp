#include "testkit/util/ffmpeg_made_cache.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" {
#include <libavutil/avutil.h>
}

#include "testkit/util/shell_words.h"

namespace vex::testkit::made_cache {

namespace fs = std::filesystem;

namespace {

fs::path folder() {
  if (const char *dir = std::getenv("VEX_FFMPEG_CACHE_DIR"); dir != nullptr && *dir != '\0')
    return dir;
  return fs::temp_directory_path() / ("vexutil-ffmpeg-" + std::to_string(getuid()));
}

uint64_t fnv1a(const std::string &s) {
  uint64_t h = 0xcbf29ce484222325u;
  for (const unsigned char c : s)
    h = (h ^ c) * 0x100000001b3u;
  return h;
}

std::string read_all(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A name no other process or thread writes to.
fs::path temporary_beside(const fs::path &p) {
  static std::atomic<unsigned> count{0};
  return p.string() + "." + std::to_string(getpid()) + "." + std::to_string(count++) + ".part";
}

} // namespace

std::optional<Entry> entry_for(const std::string &args, std::string &why) {
  const auto words = shell_words(args);
  if (!words || words->size() < 3) {
    why = "quoting or no output";
    return std::nullopt;
  }
  const std::string &output = words->back();
  if (output.empty() || output[0] == '-' || output.find('%') != std::string::npos) {
    why = "not one plain output file";
    return std::nullopt;
  }
  std::string key = std::string("ffmpeg ") + av_version_info() + "\n";
  bool generated = false; // -f lavfi given for the input that comes next
  for (size_t i = 0; i + 1 < words->size(); ++i) {
    const std::string &w = (*words)[i];
    // A slash or a file option could name a file the command reads.
    if (w.find('/') != std::string::npos || w.find("file") != std::string::npos ||
        w.find("movie") != std::string::npos || w.rfind("-pass", 0) == 0) {
      why = "it may read a file: " + w;
      return std::nullopt;
    }
    if (w == "-f" && (*words)[i + 1] == "lavfi")
      generated = true;
    if (w == "-i") {
      if (!generated) {
        why = "an input file";
        return std::nullopt;
      }
      generated = false;
    }
    key += w + "\n";
  }
  const std::string extension = fs::path(output).extension().string();
  key += "-> *" + extension + "\n";
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(fnv1a(key)));
  return Entry{key, output, (folder() / name).string() + extension};
}

bool fetch(const Entry &e) {
  std::error_code ec;
  if (!fs::exists(e.stored, ec) || read_all(e.stored + ".key") != e.key)
    return false;
  return fs::copy_file(e.stored, e.output, fs::copy_options::overwrite_existing, ec) && !ec;
}

void store(const Entry &e) {
  std::error_code ec;
  fs::create_directories(fs::path(e.stored).parent_path(), ec);
  const fs::path key_part = temporary_beside(e.stored + ".key"), data_part = temporary_beside(e.stored);
  {
    std::ofstream key(key_part, std::ios::binary);
    key << e.key;
    if (!key.flush())
      return;
  }
  // The key first: a reader trusts the data only when the key beside it
  // matches, and both are whole when they appear.
  if (!fs::copy_file(e.output, data_part, ec) || ec) {
    fs::remove(key_part, ec);
    return;
  }
  fs::rename(key_part, e.stored + ".key", ec);
  if (!ec)
    fs::rename(data_part, e.stored, ec);
  fs::remove(key_part, ec);
  fs::remove(data_part, ec);
}

} // namespace vex::testkit::made_cache
