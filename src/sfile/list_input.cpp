// Lists and numbered series (kind 4): every entry is a sound source of its
// own, opened in turn and read in the list's output format. An entry's /S
// and /E are passed on negated: frame numbers for movies, milliseconds for
// the rest. The list's length, in output bytes, is the sum of its entries'.
#include <algorithm>

#include "lists/list_nesting.h"
#include "sfile/sound_source.h"

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

} // namespace

Opened open_list(Source &s, const OpenArgs &a, const lists::ListEntry *first) {
  lists::ListNesting nesting;
  const char *identity = s.list_file ? a.name : s.list_line.c_str();
  copy_text(s.type, sizeof s.type, "List");
  copy_text(s.name, sizeof s.name, s.list_file ? a.name : s.list_line.c_str());
  bool format_known = false;
  uint64_t total = 0;
  lists::ListEntry entry;
  if (nesting.enter(identity)) {
    if (first)
      entry = *first;
    else
      lists::next_entry(s.list_state(), s.list_line.c_str(), entry);
    while (entry.name[0] != '\0' && nesting.count_entry()) {
      SFILE *e = open_entry(entry, a.rate, a.bits, a.channels);
      if (e && !format_known) {
        s.source_rate = or_entry(a.rate, e->rate);
        s.source_bits = a.bits == 8 || a.bits == 16 ? static_cast<uint32_t>(a.bits) : e->bits;
        s.source_channels = a.channels == 1 || a.channels == 2 ? static_cast<uint32_t>(a.channels) : e->channels;
        s.source_frame_bytes = s.source_channels * s.source_bits / 8;
        format_known = true;
      }
      if (e)
        total += entry_length(*e, s.source_rate, s.source_frame_bytes);
      SFileClose(e);
      lists::next_entry(s.list_state(), s.list_line.c_str(), entry);
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
  lists::rewind_list(s.list_state());
  return Opened::accepted;
}

uint32_t get_list(Source &s, uint8_t *out, uint32_t bytes) {
  bytes = std::min(bytes, s.remaining);
  if (bytes == 0)
    return 0;
  for (;;) {
    if (s.entry && s.entry->at_end) {
      SFileClose(s.entry);
      s.entry = nullptr;
    }
    while (!s.entry) {
      lists::ListEntry e;
      lists::next_entry(s.list_state(), s.list_line.c_str(), e);
      if (e.name[0] == '\0') {
        s.at_end = 1;
        return 0;
      }
      s.entry = open_entry(e, static_cast<int32_t>(s.rate), static_cast<int32_t>(s.bits),
                           static_cast<int32_t>(s.channels));
      if (!s.entry)
        continue;
      // Skipping into the list: whole entries go; inside an entry the
      // bytes are read and dropped, exact for every kind of entry.
      const uint32_t length = entry_length(*s.entry, s.rate, s.frame_bytes);
      if (s.skip >= length) {
        s.skip -= length;
        SFileClose(s.entry);
        s.entry = nullptr;
        continue;
      }
      while (s.skip > 0) {
        const uint32_t n = SFileGet(s.entry, out, std::min(s.skip, bytes));
        if (n == 0)
          break;
        s.skip -= n;
      }
      s.skip = 0;
    }
    const uint32_t got = SFileGet(s.entry, out, bytes);
    if (got == 0) {
      s.entry->at_end = 1; // delivered nothing: on to the next entry
      continue;
    }
    s.remaining -= std::min(got, s.remaining);
    if (s.remaining == 0)
      s.at_end = 1;
    return got;
  }
}

} // namespace vex::sfile
