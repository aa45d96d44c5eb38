#include "ogfile/codec_choice.h"

#include <vector>

#include "movie/avi_writer.h"
#include "util/status.h"
#include "vexutil/ogfile.h"

namespace vex::ogfile {

bool choose_codec(int32_t /*depth*/, std::string & /*codec*/) {
  return util::fail(util::Status::kUnsupported, "no window can show the list of encoders; name one instead");
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
