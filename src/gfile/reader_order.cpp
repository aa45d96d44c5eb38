// The order of readers as a table of attempts. A name without extension
// gets each attempt's default extension; AVI and QuickTime are tried only
// when the file with their extension exists. The alpha flag offers the file
// to QuickTime early, after the movie readers.
#include <array>
#include <cstring>
#include <string>

#include "gfile/reader_order.h"
#include "util/status.h"

namespace vex::gfile {
namespace {

using Open = Opened (*)(GFILE &, const OpenArgs &, const char *);

template <stills::Format F> Opened open_still_as(GFILE &g, const OpenArgs &a, const char *name) {
  return open_still(g, a, name, F);
}

struct Attempt {
  const char *extension; // appended to a name without one; null: the name as given
  Open open;
  bool only_if_exists; // skipped unless the file with the extension exists
};

// The WAV check and the early QuickTime attempt are handled around it.
constexpr std::array<Attempt, 14> kOrder{{
    {nullptr, open_flic, false}, // the FLIC reader appends its own extensions
    {".kvn", open_korvane, false},
    {".tlm", open_tolm, false},
    {nullptr, open_executable, false},
    {".bmp", open_still_as<stills::Format::bmp>, false},
    {".pcx", open_still_as<stills::Format::pcx>, false},
    {".png", open_still_as<stills::Format::png>, false},
    {".tga", open_still_as<stills::Format::tga>, false},
    {".avi", open_avi, true},
    {".mov", open_quicktime, true},
    {".tif", open_still_as<stills::Format::tif>, false},
    {".gif", open_still_as<stills::Format::gif>, false},
    {".jpg", open_still_as<stills::Format::jpeg>, false},
    {nullptr, open_sound_only, false},
}};
constexpr size_t kAfterExecutable = 4; // where the early QuickTime attempt goes
constexpr size_t kTif = 10;

// The attempt's working name: empty when the attempt is skipped.
std::string attempt_name(const Attempt &t, const char *name) {
  if (!t.extension)
    return name;
  const std::string n = with_extension(name, t.extension);
  if (t.only_if_exists && !HasExtension(name) && !file_exists(n))
    return {};
  return n;
}

// The most telling reason among the readers that declined: the first one
// that knew the file and found it wanting (damaged, too large, a variant we
// lack) beats "not of this kind"; when every reader only said that, the
// file is empty or of no known kind.
class Reasons {
public:
  void note() {
    const util::Status s = util::last_status();
    if (s == util::Status::kNotThisFormat)
      looked_ = true;
    else if (s != util::Status::kOk && s != util::Status::kNoFile && telling_.empty()) {
      status_ = s;
      telling_ = util::last_reason();
    }
  }
  // After the last reader declined too.
  void settle(const char *name) const {
    const util::Status s = util::last_status();
    if (s != util::Status::kOk && s != util::Status::kNotThisFormat && s != util::Status::kNoFile)
      return; // the last reader's own finding stands
    if (!telling_.empty())
      util::fail(status_, "%s", telling_.c_str());
    else if (looked_ && file_exists(name) && vexfilesize(name) == 0)
      util::fail(util::Status::kNotThisFormat, "the file is empty");
    else if (looked_ && file_exists(name))
      util::fail(util::Status::kNotThisFormat, "not a file of a known kind");
  }

private:
  bool looked_ = false;
  util::Status status_ = util::Status::kOk;
  std::string telling_;
};

} // namespace

Opened try_readers(GFILE &g, const OpenArgs &a, const char *name) {
  const Opened w = open_wave_check(g, a, with_extension(name, ".wav").c_str());
  if (w == Opened::accepted)
    return open_sound_only(g, a, name);
  if (w == Opened::failed)
    return w;
  Reasons reasons;
  for (size_t i = 0; i < kOrder.size(); ++i) {
    if (i == kAfterExecutable && g.alpha) {
      const std::string mov = with_extension(name, ".mov");
      const bool exists = file_exists(mov);
      if (exists) {
        const Opened r = open_quicktime(g, a, mov.c_str());
        if (r != Opened::declined)
          return r;
        reasons.note();
      } else if (!HasExtension(name)) {
        i = kTif; // no movie of that name: the stills that need no size check
      }
    }
    const std::string n = attempt_name(kOrder[i], name);
    if (n.empty())
      continue;
    const Opened r = kOrder[i].open(g, a, n.c_str());
    if (r != Opened::declined)
      return r;
    reasons.note();
  }
  const std::string raw = with_extension(name, ".raw");
  const Opened r = raw.empty() ? Opened::failed : open_raw(g, a, raw.c_str());
  if (r != Opened::accepted)
    reasons.settle(name);
  return r;
}

} // namespace vex::gfile
