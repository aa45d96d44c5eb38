#include "executable/embedded_movie.h"

#include <cstring>

#include "util/bytes.h"
#include "util/status.h"
#include "util/text_util.h"
#include "vexutil/util.h"

namespace vex::executable {
namespace {

using util::fail;
using util::Status;

constexpr uint32_t kMovieStringBlock = 1;

std::nullopt_t no_movie(util::Failure) { return std::nullopt; }

bool is_digit_unit(uint16_t u) { return u >= '0' && u <= '9'; }

} // namespace

std::optional<uint32_t> offset_in_strings(std::span<const uint8_t> block, uint64_t file_size) {
  const size_t units = block.size() / 2;
  auto unit = [&](size_t i) { return util::le16(block.data() + 2 * i); };
  size_t i = 0;
  while (i + 1 < units && !(unit(i) == ':' && is_digit_unit(unit(i + 1))))
    ++i;
  if (i + 1 >= units)
    return no_movie(fail(Status::kNotThisFormat, "the executable's strings name no movie offset"));
  uint64_t offset = 0;
  for (++i; i < units && is_digit_unit(unit(i)); ++i) {
    offset = offset * 10 + (unit(i) - '0');
    if (offset > UINT32_MAX)
      return no_movie(fail(Status::kDamaged, "the executable's movie offset does not fit in 32 bits"));
  }
  if (offset >= file_size)
    return no_movie(fail(Status::kDamaged, "the executable's movie offset %llu lies past its end (%llu bytes)",
                         static_cast<unsigned long long>(offset), static_cast<unsigned long long>(file_size)));
  return static_cast<uint32_t>(offset);
}

std::optional<uint32_t> embedded_movie_offset(const file::ByteSource &image) {
  const auto pe = PeImage::parse(image);
  if (!pe)
    return std::nullopt;
  const auto block = pe->resource(kStringTable, kMovieStringBlock);
  if (!block)
    return std::nullopt;
  return offset_in_strings(*block, image.size());
}

std::optional<file::ByteSource> embedded_movie(const file::ByteSource &executable) {
  const auto offset = embedded_movie_offset(executable);
  if (!offset)
    return std::nullopt;
  return executable.slice(*offset);
}

bool is_executable_name(const char *name) {
  const char *ext = name ? HasExtension(name) : nullptr;
  return ext && std::strlen(ext) == 4 && util::upper(ext[1]) == 'E' && util::upper(ext[2]) == 'X' &&
         util::upper(ext[3]) == 'E';
}

} // namespace vex::executable
