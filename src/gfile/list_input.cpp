// Lists and numbered series (kind 0x100): every entry is a graphics source
// of its own, opened in turn with the entry's frame range. The list's
// size, depth and sound are the largest of its entries', its frame count
// and file size their sums, its rate the first entry's that has one.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gfile/input_reader.h"
#include "gfile/source_geometry.h"
#include "lists/list_nesting.h"
#include "lists/repeated_entry.h"
#include "util/open_progress.h"

namespace vex::gfile {
namespace {

using util::Status;

// The list's own reader state and the source of the entry being read.
class ListReader final : public InputReader {
public:
  ListReader() = default;
  ~ListReader() override;
  ListReader(const ListReader &) = delete;
  ListReader &operator=(const ListReader &) = delete;

  bool fetch(GFILE &g) override;
  void rewind(GFILE &g) override;
  // A picture the entry left pending (a skipped frame delivered again).
  void realise_pending(GFILE &) override {
    if (entry)
      realise_pending_picture(*entry);
  }
  // The entry being read describes itself; before the first fetch, the
  // first entry as the open found it.
  void describe(GFILE &, GFILEINFO &info) override {
    if (!GFileDescribe(entry, &info))
      info = first_info;
  }

  lists::ListState state() { return {file, pattern, counter, end, repeat, repeated, repeated_first, repeated_last}; }

  VEXFILE *file = nullptr; // the list file, or null: the source name is the only line
  char pattern[kNameChars] = {};
  int32_t counter = 0, end = 0, repeat = 0;
  char repeated[lists::kRepeatedChars] = {};
  int32_t repeated_first = 0, repeated_last = 0;
  std::string line; // the source name (the only line without a list file), or the list file's name
  GFILE *entry = nullptr;
  GFILEINFO first_info{}; // the first entry's description
};

constexpr int32_t kListFileBuffer = 4096;
constexpr int32_t kEntryOptions[] = {0, 0x10000, 0, 256,
                                     0, 0,       2}; // mode, period, first, entries, split, system, promotion

GFILE *open_entry(const GFILE &g, const ListEntry &e, int32_t first, int32_t last) {
  const GFILESTATE &s = *g.state;
  const Options &o = s.options;
  const uint32_t flags = (g.true_colour ? GFILE_TRUE_COLOUR : 0) | (g.alpha ? GFILE_ALPHA : 0);
  return GFileOpen(e.name, static_cast<int32_t>(flags), o.play_num, o.play_den, o.out_num, o.out_den, 0, 0, 0, 0, first,
                   last, kEntryOptions[0], kEntryOptions[1], kEntryOptions[2], kEntryOptions[3], kEntryOptions[4],
                   kEntryOptions[5], kEntryOptions[6], nullptr, "", s.callback);
}

// Accumulates one entry into the list's fields.
void accumulate(GFILE &g, const GFILE &e, uint64_t &frames, uint64_t &bytes) {
  g.depth = std::max(g.depth, e.depth);
  g.source_width = std::max(g.source_width, e.source_width);
  g.source_height = std::max(g.source_height, e.source_height);
  if (g.source_num == 0 && e.source_num != 0) {
    g.source_num = e.source_num;
    g.source_den = e.source_den;
  }
  g.has_sound |= e.has_sound;
  frames += static_cast<uint32_t>(e.frame_count);
  bytes += e.file_size;
}

// The next entry that opens, or null at the end of the list (after which
// the list starts again).
GFILE *next_open_entry(GFILE &g, ListReader &list, ListEntry &e) {
  for (int tries = 0; tries < 2; ++tries) { // an end marker is read once more: the list wraps round
    next_entry(list.state(), list.line.c_str(), e);
    if (e.name[0] != '\0')
      return open_entry(g, e, e.first, e.last);
  }
  return nullptr;
}

} // namespace

ListReader::~ListReader() {
  VEXFileClose(file);
  GFileClose(entry);
}

namespace {

// Walks the entries, opening each: the list's sizes, depth, sound, frame
// count and file size. `first` is the entry the list reader already gave
// (of a series or a repeated name), else null.
Opened walk_entries(GFILE &g, const OpenArgs &a, ListReader &list, const ListEntry *first) {
  lists::ListNesting nesting;
  g.kind = GFILE_LIST; // its failures have been told already
  copy_text(g.type, sizeof g.type, "List");
  uint64_t frames = 0, bytes = 0;
  ListEntry entry;
  lists::RepeatedEntry<SourcePtr> source;
  bool ok = true;
  if (nesting.enter(list.line.c_str())) {
    if (first)
      entry = *first;
    else
      next_entry(list.state(), list.line.c_str(), entry);
    for (;;) {
      const std::string opening = std::string("Opening ") + entry.name + "...";
      if (!util::tell_open(opening.c_str(), 0))
        return Opened::failed; // cancelled by the answer
      if (entry.name[0] == '\0' || !nesting.count_entry())
        break;
      if (!source.take(nesting, entry, [&](const ListEntry &n) { return open_entry(g, n, n.first, n.last); }))
        break;
      GFILE *e = source.get();
      if (!e) {
        ok = false;
        break;
      }
      if (frames == 0)
        GFileDescribe(e, &list.first_info);
      accumulate(g, *e, frames, bytes);
      next_entry(list.state(), list.line.c_str(), entry);
    }
  }
  const std::string problem = nesting.problem();
  if (!problem.empty()) {
    if (nesting.outermost())
      report(a.callback, Status::kInvalidArgument, problem.c_str());
    else
      util::fail(Status::kInvalidArgument, "%s", problem.c_str());
    return Opened::failed;
  }
  if (!ok)
    return Opened::failed;
  if (frames == 0) {
    report(a.callback, Status::kNotThisFormat, "No files in the list file.");
    return Opened::failed;
  }
  g.frame_count = static_cast<int32_t>(std::min<uint64_t>(frames, INT32_MAX));
  g.file_size = static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
  rewind_list(list.state());
  return Opened::accepted;
}

} // namespace

Opened open_if_list(GFILE &g, OpenArgs &a, std::string &plain) {
  auto reader = std::make_unique<ListReader>();
  ListReader &list = *reader;
  list.line = a.name;
  ListEntry entry;
  next_entry(list.state(), list.line.c_str(), entry);
  if (list.end != 0 || list.repeat > 0) { // a series (naming nothing at all, too) or a name used n times (/L)
    g.state->reader = std::move(reader);
    return walk_entries(g, a, list, &entry);
  }
  rewind_list(list.state());
  // Switches the name carried (/S, /E) are not part of the file name; they
  // are its range when the caller gave none.
  plain = entry.name[0] != '\0' ? entry.name : a.name;
  if (a.first == 0 && a.last == 0) {
    a.first = entry.first;
    a.last = entry.last;
  }
  if (lists::is_list_name(plain.c_str())) {
    list.file = VEXFileOpen(kListFileBuffer, plain.c_str(), VEXFILE_READ);
    if (!list.file) {
      util::fail_to_open(errno);
      return Opened::failed;
    }
    list.line = plain;
    g.state->reader = std::move(reader);
    return walk_entries(g, a, list, nullptr);
  }
  return Opened::declined;
}

void ListReader::rewind(GFILE &) {
  rewind_list(state());
  GFileClose(entry);
  entry = nullptr;
}

bool ListReader::fetch(GFILE &g) {
  GFILESTATE &s = *g.state;
  ListReader &list = *this;
  if (list.entry && list.entry->at_end) {
    GFileClose(list.entry);
    list.entry = nullptr;
  }
  bool changed = false;
  if (!list.entry) {
    ListEntry e;
    list.entry = next_open_entry(g, list, e);
    // The first fetch with a first-frame offset skips whole entries, then
    // opens the one that holds the first frame from that frame on.
    uint32_t skip = s.first_fetch_done ? 0 : s.first_offset;
    while (list.entry && skip > 0) {
      const auto n = static_cast<uint32_t>(list.entry->frame_count);
      GFileClose(list.entry);
      list.entry = nullptr;
      if (n <= skip) {
        skip -= n;
        list.entry = next_open_entry(g, list, e);
      } else {
        const int32_t from = std::max(e.first, 1) + static_cast<int32_t>(skip);
        list.entry = open_entry(g, e, from, e.last);
        skip = 0;
      }
    }
    changed = true;
  }
  if (!list.entry) {
    // An entry's open cancelled by the callback cancels the list.
    if (util::last_status() == Status::kCancelled)
      s.cancelled = true;
    s.frame = SourceFrame{}; // nothing opens any more: nothing is drawn
    return changed;
  }
  GFILE &e = *list.entry;
  // A skip passes on to the entry; anything else takes the entry's frame
  // as the list's own.
  e.state->skipping = s.skipping;
  changed |= advance(e);
  if (e.state->cancelled) // the entry's skip to its first frame
    s.cancelled = true;
  e.state->skipping = false;
  if (!s.skipping)
    realise_pending_picture(e); // the list takes the entry's frame as its own
  if (s.damage.empty() && !e.state->damage.empty())
    s.damage = std::string(e.name) + ": " + e.state->damage;
  s.fetch_failed = s.fetch_failed || e.state->delivered_damaged;
  const SourceFrame &f = e.state->frame;
  s.frame = f;
  g.frame_depth = e.frame_depth;
  g.frame_bytes = e.frame_bytes;
  if (changed)
    std::memcpy(g.source_palette, e.source_palette, sizeof g.source_palette);
  return changed;
}

} // namespace vex::gfile
