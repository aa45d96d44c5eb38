// The order of the sound readers as one table of rows: chunk streams, WAV
// (and raw PCM), Korvane, Tolm, a movie inside an executable, AVI,
// QuickTime. Chunk streams come first so that a raw format given with a
// ".vcs" name reads its chunks as raw PCM, not the whole file. A name
// without extension is offered to each row with the row's extension; each
// name's file is opened once and a row whose quick test refuses its first
// bytes is passed over without an open of its own.
#include <array>
#include <string>

#include "sfile/sound_order.h"

namespace vex::sfile {
namespace {

using lists::InputFile;
using lists::InputFiles;

const std::array<const SoundRow *, 7> kOrder{{&kChunkStreamRow, &kWaveRow, &kKorvaneRow, &kTolmRow, &kExecutableRow,
                                              &kAviRow, &kQuickTimeRow}};

// The file a row is offered for `name`, or null when it has none.
const InputFile *row_file(const SoundRow &row, const char *name, InputFiles &files) {
  const std::string n = row.extension ? with_extension(name, row.extension) : std::string(name);
  if (n.empty())
    return nullptr;
  const InputFile &f = files.get(n);
  return f.exists() ? &f : nullptr;
}

} // namespace

void fail_unread(const Source &s, const OpenArgs &a, const char *name, InputFiles &files) {
  const char *text = "Error opening the audio input file.";
  bool found = files.exists(name);
  for (const SoundRow *row : kOrder)
    found = found || (row->extension && files.exists(with_extension(name, row->extension)));
  if (!found) {
    report(a, util::Status::kNoFile, text, "no such file");
    return;
  }
  const std::string detail = s.refusal.empty() ? std::string(text) : std::string(text) + " " + s.refusal;
  report(a, s.refusal.empty() ? util::Status::kNotThisFormat : s.refusal_status, text, detail.c_str());
}

Opened try_readers(Source &s, const OpenArgs &a, const char *name, InputFiles &files) {
  for (const SoundRow *row : kOrder) {
    const InputFile *file = row_file(*row, name, files);
    if (!file || (row->probe && !row->probe(*file)))
      continue;
    util::clear_reason(); // the row's own reason, not one left before it
    const Opened r = row->open(s, a, *file);
    if (r != Opened::declined)
      return r;
    const util::Status why = util::last_status();
    if (why == util::Status::kCancelled)
      return Opened::failed; // a movie's frame count was cancelled: no other reader is asked
    // A file of the row's kind that it cannot read: the first such reason
    // is the one told (a header that claims more than the file holds).
    if (s.refusal.empty() && why != util::Status::kOk && why != util::Status::kNotThisFormat) {
      s.refusal = std::string("(") + util::last_reason() + ")";
      s.refusal_status = why;
    }
  }
  fail_unread(s, a, name, files);
  return Opened::failed;
}

} // namespace vex::sfile
