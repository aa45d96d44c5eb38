#include "csfile/cs_pcm_feed.h"

#include <algorithm>

namespace vex::csfile {
namespace {

// Delivers min(dest, pass left) bytes from the current pass: lead-in first,
// then the source until it ends (rewound while fill-by-repeating asks for
// more), then silence.
uint32_t fill_from_pass(CSFILE &cs, PcmSource &source, std::span<uint8_t> dest) {
  const uint32_t want = static_cast<uint32_t>(std::min<size_t>(dest.size(), cs.pass_left));
  uint32_t n = std::min(cs.lead_in_left, want);
  cs.lead_in_left -= n;
  cs.pass_left -= n;

  // A source that gives nothing right after a rewind is empty: repeating it
  // would never fill the pass.
  bool just_rewound = false;
  while (n < want) {
    const uint32_t got = source.at_end() ? 0 : source.read(dest.subspan(n, want - n));
    if (got > 0) {
      n += got;
      cs.pass_left -= got;
      just_rewound = false;
      continue;
    }
    if (!cs.fill_repeat || just_rewound)
      break;
    source.rewind();
    just_rewound = true;
  }

  // The rest of what the pass still owes is silence.
  cs.pass_left -= want - n;
  return want;
}

} // namespace

uint32_t feed_pcm(CSFILE &cs, PcmSource &source, std::span<uint8_t> dest) {
  uint32_t n = fill_from_pass(cs, source, dest);
  // A pass of 0 bytes delivers nothing however often it starts again.
  while (n < dest.size() && cs.pass_left == 0 && cs.repeat_forever && cs.pass_bytes > 0) {
    source.rewind();
    cs.lead_in_left = cs.lead_in_bytes;
    cs.pass_left = cs.pass_bytes;
    n += fill_from_pass(cs, source, dest.subspan(n));
  }
  return n;
}

} // namespace vex::csfile
