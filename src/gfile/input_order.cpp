// The order of the readers as one table of rows. A name without extension
// is offered to each row under the row's own extensions (the first of them
// that exists); a name with one, as it is. Each name's file is opened once
// (state->inputs) and a row whose quick test refuses its first bytes is
// passed over without an open of its own. The alpha flag offers the file
// to QuickTime early, after the movie readers.
#include <array>
#include <cstring>
#include <string>

#include "gfile/input_order.h"
#include "util/status.h"

namespace vex::gfile {
namespace {

using lists::InputFile;
using lists::InputFiles;

// The WAV check and the early QuickTime attempt are handled around it.
const std::array<const ReaderRow *, 15> kOrder{{
    &kFlicRow, &kKorvaneRow, &kTolmRow, &kExecutableRow, &kBmpRow, &kPcxRow, &kPngRow, &kTgaRow, &kAviRow,
    &kQuickTimeRow, &kTifRow, &kGifRow, &kJpegRow, &kSoundOnlyRow, &kRawRow,
}};
constexpr size_t kAfterExecutable = 4; // where the early QuickTime attempt goes
constexpr size_t kTif = 10;

// The file a row is offered for `name`, or null when it has none.
const InputFile *row_file(const ReaderRow &row, const char *name, InputFiles &files) {
  if (HasExtension(name) || !row.extensions.list[0]) {
    const InputFile &f = files.get(name);
    return f.exists() || row.without_file ? &f : nullptr;
  }
  for (const char *extension : row.extensions.list) {
    if (!extension)
      break;
    const std::string n = with_extension(name, extension);
    if (n.empty())
      return nullptr;
    if (const InputFile &f = files.get(n); f.exists())
      return &f;
  }
  return nullptr;
}

// The most telling reason among the readers that declined: the first one
// that knew the file and found it wanting (damaged, too large, a variant we
// lack) beats "not of this kind"; when every reader only said that, the
// file is empty or of no known kind.
class Reasons {
public:
  void note() {
    const util::Status s = last_ = util::last_status();
    if (s == util::Status::kNotThisFormat)
      looked_ = true;
    else if (s != util::Status::kOk && s != util::Status::kNoFile && telling_.empty()) {
      status_ = s;
      telling_ = util::last_reason();
    }
  }
  void not_this_kind() {
    looked_ = true;
    last_ = util::Status::kNotThisFormat;
  }
  void no_file() { last_ = util::Status::kNoFile; }
  // After the last reader declined too.
  void settle(const char *name, InputFiles &files) const {
    const util::Status s = last_;
    if (s != util::Status::kOk && s != util::Status::kNotThisFormat && s != util::Status::kNoFile)
      return; // the last reader's own finding stands (the thread's reason is still its own)
    const InputFile &f = files.get(name);
    if (!telling_.empty())
      util::fail(status_, "%s", telling_.c_str());
    else if (looked_ && f.exists() && f.source.size() == 0)
      util::fail(util::Status::kNotThisFormat, "the file is empty");
    else if (looked_ && f.exists())
      util::fail(util::Status::kNotThisFormat, "not a file of a known kind");
  }

private:
  bool looked_ = false;
  util::Status status_ = util::Status::kOk;
  util::Status last_ = util::Status::kOk; // what the reader asked last found
  std::string telling_;
};

// Offers the row's file to the row: its answer, with a refusal noted.
Opened attempt(const ReaderRow &row, GFILE &g, const OpenArgs &a, const char *name, Reasons &reasons) {
  const InputFile *file = row_file(row, name, g.state->inputs);
  if (!file) {
    reasons.no_file();
    return Opened::declined;
  }
  if (row.probe && file->exists() && !row.probe(*file)) {
    reasons.not_this_kind();
    return Opened::declined;
  }
  util::clear_reason();
  const Opened r = row.open(g, a, *file);
  if (r == Opened::declined)
    reasons.note();
  return r;
}

} // namespace

bool starts_with(const InputFile &file, size_t offset, std::span<const uint8_t> magic) {
  const std::span<const uint8_t> head = file.first(offset + magic.size());
  return !head.empty() && std::memcmp(head.data() + offset, magic.data(), magic.size()) == 0;
}

Opened try_readers(GFILE &g, const OpenArgs &a, const char *name) {
  Reasons reasons;
  // A RIFF WAVE file goes to the sound-only source before any picture
  // reader sees it.
  if (const InputFile *w = row_file(kWaveRow, name, g.state->inputs); w && kWaveRow.probe(*w))
    return kSoundOnlyRow.open(g, a, g.state->inputs.get(name));
  for (size_t i = 0; i < kOrder.size(); ++i) {
    if (i == kAfterExecutable && g.alpha) {
      const std::string mov = with_extension(name, ".mov");
      if (g.state->inputs.exists(mov)) {
        const Opened r = attempt(kQuickTimeRow, g, a, name, reasons);
        if (r != Opened::declined)
          return r;
        if (util::last_status() == util::Status::kCancelled)
          return Opened::failed;
      } else if (!HasExtension(name)) {
        i = kTif; // no movie of that name: the stills that need no size check
      }
    }
    const Opened r = attempt(*kOrder[i], g, a, name, reasons);
    if (r == Opened::accepted || (r == Opened::failed && kOrder[i] != &kRawRow))
      return r;
    if (util::last_status() == util::Status::kCancelled)
      return Opened::failed; // a movie's frame count was cancelled: no other reader is asked
  }
  reasons.settle(name, g.state->inputs); // the raw frame file, the last, did not take it
  return Opened::failed;
}

} // namespace vex::gfile
