// Where a C compiler puts the fields of a record, worked out from a list of
// (bytes, alignment) entries alone, so tests can hold a public header's
// layout to its documented field list without reading the header.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace vex::testkit {

struct FieldSize {
  size_t bytes, align;
};

// The offset of every entry, then the record's size (padded to its widest
// alignment).
std::vector<size_t> laid_out_offsets(std::span<const FieldSize> fields);

} // namespace vex::testkit
