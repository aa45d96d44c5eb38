#include "palette/palette_build.h"

#include <algorithm>
#include <vector>

#include "palette/palette_reduce.h"

namespace vex::palette {

util::Status build_palette(const PaletteRequest &req, PaletteOutcome &outcome) {
  outcome = {};
  if (req.first > kPaletteEntries || req.count > kPaletteEntries - req.first)
    return util::fail(util::Status::kInvalidArgument, "palette entries %u to %u lie outside the palette", req.first,
                      req.first + req.count - 1);
  if (req.system_colours != SystemColours::kBuilt && req.system_colours != SystemColours::kAlways &&
      req.system_colours != SystemColours::kNone)
    return util::fail(util::Status::kInvalidArgument, "system-colours option %d", static_cast<int>(req.system_colours));

  const uint32_t f = req.first, n = req.count;
  if (req.system_colours != SystemColours::kNone) {
    write_system_colours(req.palette);
    // The system entries inside the usable range, at most the whole range.
    outcome.low = f < kSystemLowCount ? std::min(kSystemLowCount - f, n) : 0;
    outcome.high = f + n > kSystemHighFirst ? std::min(f + n - kSystemHighFirst, n - outcome.low) : 0;
  }
  const uint32_t begin = f + outcome.low;
  const uint32_t target = n - outcome.low - outcome.high;

  std::vector<Rgb> reserved;
  for (uint32_t i = f; i < begin; ++i)
    reserved.push_back(palette_entry(req.palette, i));
  for (uint32_t i = begin + target; i < f + n; ++i)
    reserved.push_back(palette_entry(req.palette, i));

  const Reduction r = reduce_colours(req.histogram, reserved, static_cast<int32_t>(target), req.talk);
  outcome.colours = static_cast<uint32_t>(r.colours.size());
  outcome.cancelled = r.cancelled;
  if (r.colours.empty())
    return util::Status::kOk;
  static const UsageCounts kUnused{};
  outcome.placement = place_colours(r.colours, req.palette, begin, static_cast<int32_t>(target),
                                    req.usage != nullptr ? *req.usage : kUnused, req.talk);
  return util::Status::kOk;
}

} // namespace vex::palette
