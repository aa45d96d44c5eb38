#include "ogfile/codec_choice.h"

#include <vector>

#include "movie/avi_writer.h"
#include "ui/list_pick.h"
#include "util/status.h"
#include "vexutil/ogfile.h"

namespace vex::ogfile {

bool choose_codec(int32_t depth, std::string &codec) {
  std::vector<std::string> lines{"Full frames (uncompressed)"}, names{""};
  const char *name = nullptr, *description = nullptr;
  for (int32_t i = 0; OGFileEncoder(i, &name, &description); ++i) {
    lines.push_back(std::string(description) + " (" + name + ")");
    names.emplace_back(name);
  }
  const int picked = ui::pick_from_list(depth == 8 ? "Compress the 8-bit frames with:" : "Compress the frames with:",
                                        lines, 0);
  if (picked == ui::kPickUnavailable)
    return util::fail(util::Status::kUnsupported, "no window can show the list of encoders; name one instead");
  if (picked < 0 || static_cast<size_t>(picked) >= names.size())
    return util::fail(util::Status::kCancelled, "no encoder was chosen");
  codec = names[static_cast<size_t>(picked)];
  return true;
}

} // namespace vex::ogfile

extern "C" int32_t OGFileEncoder(int32_t index, const char **name, const char **description) {
  static const std::vector<vex::movie::EncoderInfo> list = vex::movie::VideoEncoders();
  if (index < 0 || static_cast<size_t>(index) >= list.size())
    return 0;
  if (name)
    *name = list[static_cast<size_t>(index)].name.c_str();
  if (description)
    *description = list[static_cast<size_t>(index)].description.c_str();
  return 1;
}
