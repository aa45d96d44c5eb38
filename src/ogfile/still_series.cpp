#include "ogfile/still_series.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "file/temporary_name.h"
#include "util/status.h"

namespace vex::ogfile {

namespace {

bool exists(const std::string &name) {
  struct stat st {};
  return ::lstat(name.c_str(), &st) == 0;
}

// A still renamed into place, and where the file it replaced waits ("" when
// the name was free).
struct Placed {
  std::string final_name, set_aside;
};

// Puts every replaced file back and takes the new stills away, last first.
void undo(const std::vector<Placed> &placed) {
  for (auto p = placed.rbegin(); p != placed.rend(); ++p) {
    if (p->set_aside.empty())
      file::remove_file(p->final_name);
    else
      std::rename(p->set_aside.c_str(), p->final_name.c_str());
  }
}

// One still into place; false with the reason recorded and nothing changed.
bool place(const OGFILESTATE::Still &still, std::vector<Placed> &placed) {
  Placed p{still.final_name, ""};
  if (exists(still.final_name)) {
    p.set_aside = file::reserve_temporary(still.final_name);
    if (p.set_aside.empty())
      return false;
    if (std::rename(still.final_name.c_str(), p.set_aside.c_str()) != 0) {
      const int err = errno;
      file::remove_file(p.set_aside);
      return util::fail(util::Status::kWriteFailed, "cannot set %s aside to replace it: %s", still.final_name.c_str(),
                        util::system_text(err).c_str());
    }
  }
  if (std::rename(still.temporary.c_str(), still.final_name.c_str()) != 0) {
    const int err = errno;
    if (!p.set_aside.empty())
      std::rename(p.set_aside.c_str(), still.final_name.c_str());
    return util::fail(util::Status::kWriteFailed, "cannot name the output %s: %s", still.final_name.c_str(),
                      util::system_text(err).c_str());
  }
  placed.push_back(p);
  return true;
}

} // namespace

bool commit_series(OGFILESTATE &s) {
  std::vector<Placed> placed;
  bool whole = true;
  for (const OGFILESTATE::Still &still : s.stills)
    if (!(whole = place(still, placed)))
      break;
  if (whole)
    for (const Placed &p : placed)
      file::remove_file(p.set_aside);
  else
    undo(placed);
  s.stills.erase(s.stills.begin(), s.stills.begin() + static_cast<ptrdiff_t>(placed.size()));
  abandon_series(s); // the stills not renamed
  return whole;
}

void abandon_series(OGFILESTATE &s) {
  for (const OGFILESTATE::Still &still : s.stills)
    file::remove_file(still.temporary);
  s.stills.clear();
}

} // namespace vex::ogfile
