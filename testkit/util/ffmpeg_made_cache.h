// Files the tests make again and again with the ffmpeg tool from its own
// generated sources (lavfi): kept once per machine user, keyed by the exact
// command with its output path taken out (plus the output's extension,
// which picks the container, and the FFmpeg version), and copied to the
// asked path on a hit. A command that reads any file is never cached: its
// result depends on what a test wrote there. Several test processes share
// the folder, so entries appear by rename, never half-written.
// The folder is $VEX_FFMPEG_CACHE_DIR, else <temp>/vexutil-ffmpeg-<uid>.
#pragma once

#include <optional>
#include <string>

namespace vex::testkit::made_cache {

struct Entry {
  std::string key;    // what the output depends on
  std::string output; // the asked path
  std::string stored; // the cached copy
};

// The entry for `ffmpeg <args>` when its output depends on args alone;
// otherwise nullopt and why.
std::optional<Entry> entry_for(const std::string &args, std::string &why);
// Copies a stored output to the asked path; false when there is none.
bool fetch(const Entry &e);
// Stores what the tool just wrote to the asked path; a failure only loses
// the saving.
void store(const Entry &e);

} // namespace vex::testkit::made_cache
