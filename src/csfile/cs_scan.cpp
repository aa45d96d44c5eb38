// CSFileScan and its partners: the flat interface over the chunk walk
// (sound_chunks/, which the sound source reads chunk streams with too). The
// record keeps the source open so that the chunks can be listed later
// without holding them all.
#include <optional>

#include "sound_chunks/chunk_scan.h"
#include "util/record.h"
#include "util/status.h"
#include "vexutil/csfile.h"

struct CSSCANSTATE {
  vex::file::ByteSource source;
  std::optional<vex::sound_chunks::ChunkWalk> walk; // over `source`, which never moves
  uint64_t next_offset = 0;                         // of the chunk CSFileScanNext gives next
  uint64_t listed = 0;                              // chunks it gave since the first
};

namespace vex::csfile {
namespace {

using sound_chunks::ChunkHead;
using sound_chunks::Coding;
static_assert(static_cast<int32_t>(Coding::unknown) == CSSCAN_UNKNOWN &&
              static_cast<int32_t>(Coding::huffman) == CSSCAN_HUFFMAN &&
              static_cast<int32_t>(Coding::transform) == CSSCAN_TRANSFORM &&
              static_cast<int32_t>(Coding::raw) == CSSCAN_RAW);

void free_state(CSSCANSTATE *s) { util::delete_record(s); }
using StatePtr = std::unique_ptr<CSSCANSTATE, decltype(&free_state)>;

StatePtr new_state() { return StatePtr(util::new_record<CSSCANSTATE>(), free_state); }

// Scans the opened source into a new record that takes the state.
CSSCAN *scan(StatePtr state, int32_t raw, uint32_t rate) {
  state->walk.emplace(state->source);
  if (!state->walk->ready())
    return nullptr;
  CSSCAN *s = util::new_record<CSSCAN>();
  if (!s)
    return util::fail(util::Status::kOutOfMemory);
  s->state = state.release();
  sound_chunks::StreamSummary found;
  if (!scan_stream(*s->state->walk, raw != 0, rate, found)) {
    CSFileScanClose(s);
    return nullptr;
  }
  s->coding = static_cast<int32_t>(found.coding);
  s->channels = found.channels;
  s->bits = found.bits;
  s->variant = found.variant;
  s->chunk_count = found.chunk_count;
  s->chunk_bytes = found.chunk_bytes;
  s->pcm_bytes = found.pcm_bytes;
  s->trailing = found.trailing;
  return s;
}

// A chunk as the stream's coding shows it.
CSCHUNK chunk_view(const ChunkHead &c, const CSSCAN &stream) {
  return {c.offset, c.size, stream.coding == CSSCAN_RAW ? c.size - 4 : c.count,
          stream.coding == CSSCAN_HUFFMAN ? sound_chunks::huffman_variant(c) : 0u};
}

// The list starts again from the first chunk.
int32_t rewind(CSSCANSTATE &s) {
  s.next_offset = 0;
  s.listed = 0;
  return 0;
}

} // namespace
} // namespace vex::csfile

using namespace vex::csfile;
using vex::util::Status;

extern "C" CSSCAN *CSFileScan(const char *name, int32_t raw, uint32_t rate) {
  vex::util::clear_reason();
  if (!name)
    return vex::util::fail(Status::kInvalidArgument, "no file name");
  StatePtr state = new_state();
  if (!state)
    return vex::util::fail(Status::kOutOfMemory);
  if (state->source.open(name) != Status::kOk)
    return nullptr;
  return scan(std::move(state), raw, rate);
}

extern "C" CSSCAN *CSFileScanMemory(const void *bytes, size_t size, int32_t raw, uint32_t rate) {
  vex::util::clear_reason();
  if (!bytes && size > 0)
    return vex::util::fail(Status::kInvalidArgument, "no bytes to scan");
  StatePtr state = new_state();
  if (!state)
    return vex::util::fail(Status::kOutOfMemory);
  state->source.open({static_cast<const uint8_t *>(bytes), bytes ? size : 0});
  return scan(std::move(state), raw, rate);
}

extern "C" int32_t CSFileScanNext(CSSCAN *scan, CSCHUNK *chunk) {
  if (!scan || !scan->state || !chunk)
    return 0;
  CSSCANSTATE &s = *scan->state;
  if (s.listed >= scan->chunk_count)
    return rewind(s);
  vex::sound_chunks::ChunkHead c;
  if (!s.walk->chunk_at(s.next_offset, c)) {
    if (!s.walk->failed())
      vex::util::fail(Status::kDamaged, "chunk %llu at %llu is no longer whole",
                      static_cast<unsigned long long>(s.listed + 1), static_cast<unsigned long long>(s.next_offset));
    return rewind(s);
  }
  *chunk = chunk_view(c, *scan);
  s.next_offset += c.size;
  ++s.listed;
  return 1;
}

extern "C" void CSFileScanClose(CSSCAN *scan) {
  if (!scan)
    return;
  vex::util::delete_record(scan->state);
  vex::util::delete_record(scan);
}
