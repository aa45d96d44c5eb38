// Lists and numbered series (kind 4): every entry is a sound source of its
// own, opened in turn and read in the list's output format. An entry's /S
// and /E are passed on negated: frame numbers for movies, milliseconds for
// the rest. The list's length, in output bytes, is the sum of its entries'.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "lists/list_nesting.h"
#include "lists/repeated_entry.h"
#include "sfile/sound_reader.h"
#include "util/open_progress.h"

namespace vex::sfile {
namespace {

using util::Status;
__extension__ using Wide = unsigned __int128;

// An entry's length in the list's output bytes.
uint32_t entry_length(const SFILE &e, uint32_t rate, uint32_t frame_bytes) {
  const Wide divisor = Wide{e.source_frame_bytes} * e.source_rate;
  if (divisor == 0)
    return 0;
  const Wide n = Wide{e.total} * rate * frame_bytes / divisor;
  return static_cast<uint32_t>(std::min<Wide>(n - n % frame_bytes, UINT32_MAX / frame_bytes * frame_bytes));
}

int32_t negated(int32_t v) { return v == INT32_MIN ? INT32_MAX : -v; }

SFILE *open_entry(const lists::ListEntry &e, int32_t rate, int32_t bits, int32_t channels) {
  return SFileOpen(e.name, rate, bits, channels, negated(e.first), negated(e.last), 0, 0, 0, nullptr);
}

uint32_t or_entry(int32_t asked, uint32_t entry) { return asked > 0 ? static_cast<uint32_t>(asked) : entry; }

constexpr int32_t kListFileBuffer = 4096;

// The list's own reader state and the source of the entry being read. The
// list delivers its entries' output PCM, already in the list's format.
class ListReader final : public SoundReader {
public:
  ListReader() = default;
  ~ListReader() override {
    VEXFileClose(file);
    SFileClose(entry);
  }
  ListReader(const ListReader &) = delete;
  ListReader &operator=(const ListReader &) = delete;

  uint32_t refill(Source &, uint8_t *, uint32_t) override { return 0; } // never asked: get() reads the entries
  void rewind(Source &) override {
    lists::rewind_list(state());
    SFileClose(entry);
    entry = nullptr;
  }
  uint32_t get(Source &s, uint8_t *out, uint32_t bytes) override;

  lists::ListState state() { return {file, pattern, counter, end, repeat, repeated, repeated_start, repeated_end}; }
  // The next entry of the list.
  lists::ListEntry next() {
    lists::ListEntry e;
    lists::next_entry(state(), line.c_str(), e);
    return e;
  }

  VEXFILE *file = nullptr; // the list file, or null: the source name is the only line
  char pattern[kNameChars] = {};
  int32_t counter = 0, end = 0, repeat = 0;
  char repeated[lists::kRepeatedChars] = {};
  int32_t repeated_start = 0, repeated_end = 0;
  std::string line; // the source name (the only line without a list file), or the list file's name
  SFILE *entry = nullptr;
};

// Walks the entries, opening each: the list's format (the first entry's
// where the caller left it open) and its length in output bytes. `first`
// is the entry the list reader already gave (of a series or a repeated
// name), else null.
Opened walk_entries(Source &s, const OpenArgs &a, ListReader &list, const lists::ListEntry *first) {
  lists::ListNesting nesting;
  const char *identity = list.line.c_str();
  copy_text(s.type, sizeof s.type, "List");
  copy_text(s.name, sizeof s.name, identity);
  bool format_known = false;
  uint64_t total = 0;
  lists::ListEntry entry;
  lists::RepeatedEntry<std::unique_ptr<SFILE, SoundCloser>> source;
  if (nesting.enter(identity)) {
    entry = first ? *first : list.next();
    while (entry.name[0] != '\0' && nesting.count_entry()) {
      const std::string opening = std::string("Opening ") + entry.name + "...";
      if (!util::tell_open(opening.c_str(), 0))
        return Opened::failed; // cancelled by the answer
      if (!source.take(nesting, entry,
                       [&](const lists::ListEntry &n) { return open_entry(n, a.rate, a.bits, a.channels); }))
        break;
      SFILE *e = source.get();
      if (e && !format_known) {
        s.source_rate = or_entry(a.rate, e->rate);
        s.source_bits = a.bits == 8 || a.bits == 16 ? static_cast<uint32_t>(a.bits) : e->bits;
        s.source_channels = a.channels == 1 || a.channels == 2 ? static_cast<uint32_t>(a.channels) : e->channels;
        s.source_frame_bytes = s.source_channels * s.source_bits / 8;
        format_known = true;
      }
      if (e)
        total += entry_length(*e, s.source_rate, s.source_frame_bytes);
      entry = list.next();
    }
  }
  const std::string problem = nesting.problem();
  if (!problem.empty()) {
    report(a, Status::kInvalidArgument, problem.c_str());
    return Opened::failed;
  }
  if (total == 0) {
    // The nested opens said nothing; the list says why it is empty.
    report(a, Status::kNotThisFormat, "No files in the list file.");
    return Opened::failed;
  }
  s.total = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX / s.source_frame_bytes * s.source_frame_bytes));
  s.kind = kList;
  lists::rewind_list(list.state());
  return Opened::accepted;
}

} // namespace

Opened open_if_list(Source &s, OpenArgs &a, std::string &plain) {
  auto reader = std::make_unique<ListReader>();
  ListReader &list = *reader;
  // The name itself is the list reader's only line: a series, or a name
  // with switches. A series without extension names its entries without
  // one; each entry is then tried with every reader's extension.
  list.line = a.name;
  lists::ListEntry entry;
  lists::next_entry(list.state(), list.line.c_str(), entry);
  if (list.end != 0 || list.repeat > 0) { // a series (naming nothing at all, too) or a name used n times (/L)
    s.reader = std::move(reader);
    return walk_entries(s, a, list, &entry);
  }
  lists::rewind_list(list.state());
  // A plain name: switches it carried are not part of the file name. Its
  // /S and /E trim it as a list entry's do, when the caller asked for no
  // trimming.
  plain = entry.name[0] != '\0' ? entry.name : a.name;
  if (a.start == 0 && a.end == 0) {
    a.start = negated(entry.first);
    a.end = negated(entry.last);
  }
  if (lists::is_list_name(plain.c_str())) {
    list.file = VEXFileOpen(kListFileBuffer, plain.c_str(), VEXFILE_READ);
    if (!list.file) {
      util::fail_to_open(errno);
      const std::string why = util::last_reason();
      report(a, util::last_status(), "Error opening the list file.", why.c_str());
      return Opened::failed;
    }
    list.line = plain;
    s.reader = std::move(reader);
    return walk_entries(s, a, list, nullptr);
  }
  return Opened::declined;
}

namespace {
// An entry's damage as the list's first, with the entry's name.
void take_damage(Source &s, const SFILE &entry) {
  const char *d = SFileDamage(&entry);
  if (s.damage.empty() && d)
    s.damage = std::string(entry.name) + ": " + d;
}
} // namespace

uint32_t ListReader::get(Source &s, uint8_t *out, uint32_t bytes) {
  bytes -= bytes % s.frame_bytes;
  bytes = std::min(bytes, s.remaining);
  if (bytes == 0)
    return 0;
  for (;;) {
    if (entry && entry->at_end) {
      take_damage(s, *entry);
      SFileClose(entry);
      entry = nullptr;
    }
    while (!entry) {
      const lists::ListEntry e = next();
      if (e.name[0] == '\0') {
        s.at_end = 1;
        return 0;
      }
      entry = open_entry(e, static_cast<int32_t>(s.rate), static_cast<int32_t>(s.bits),
                         static_cast<int32_t>(s.channels));
      if (!entry) {
        if (s.damage.empty()) // the list goes on without it
          s.damage = std::string(e.name) + " cannot be opened: " + VEXLastError();
        continue;
      }
      // Skipping into the list: whole entries go; inside an entry the
      // bytes are read and dropped, exact for every kind of entry.
      const uint32_t length = entry_length(*entry, s.rate, s.frame_bytes);
      if (s.skip >= length) {
        s.skip -= length;
        SFileClose(entry);
        entry = nullptr;
        continue;
      }
      while (s.skip > 0) {
        const uint32_t n = SFileGet(entry, out, std::min(s.skip, bytes));
        if (n == 0)
          break;
        s.skip -= n;
      }
      s.skip = 0;
    }
    const uint32_t got = SFileGet(entry, out, bytes);
    take_damage(s, *entry);
    if (got == 0) {
      entry->at_end = 1; // delivered nothing: on to the next entry
      continue;
    }
    s.remaining -= std::min(got, s.remaining);
    if (s.remaining == 0)
      s.at_end = 1;
    return got;
  }
}

} // namespace vex::sfile
