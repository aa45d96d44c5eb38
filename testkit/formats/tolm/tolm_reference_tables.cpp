// The Tolm tables as the encoder and the picture model want them, read from
// the format's own tables (formats/tolm/tolm_format.h) by code written apart
// from the decoder's: the code words are parsed as text into (length, bits)
// pairs instead of a lookup table, and every quantiser is derived from
// quantiser 15 in floating point instead of exact integers.
#include "testkit/formats/tolm/tolm_reference_tables.h"

#include <sstream>
#include <stdexcept>
#include <string>

#include "formats/tolm/tolm_format.h"

namespace vex::testkit::tolm {
namespace {

ReferenceTables build() {
  namespace fmt = vex::formats::tolm;
  ReferenceTables t;
  for (int c = 0; c < 16; ++c) {
    std::istringstream in(fmt::kCodeWords[c]);
    std::string word;
    int pos = 0;
    for (; in >> word; ++pos) {
      if (pos == 16)
        throw std::logic_error("code with more than 16 words");
      t.codes[c].length[pos] = static_cast<int>(word.size());
      uint32_t v = 0;
      for (size_t i = 0; i < word.size(); ++i)
        v |= static_cast<uint32_t>(word[i] == '1') << i; // written in reading order
      t.codes[c].bits[pos] = v;
    }
    if (pos != 16)
      throw std::logic_error("code with fewer than 16 words");
  }
  for (int s = 0; s < 16; ++s)
    for (int i = 0; i < 64; ++i)
      t.scans[s][i] = fmt::kScanOrders[s][i];
  for (int i = 0; i < 64; ++i) {
    t.placement[i] = fmt::kCoefficientPlacement[i];
    // Quantiser q of either table: quantiser 15 times multiplier(q) / 44.
    for (int q = 0; q < 16; ++q) {
      const double multiplier = static_cast<double>(fmt::kScaleNum[q]) / fmt::kScaleDen[q];
      t.intra_factor[q][i] = fmt::kIntraRow15[i] * multiplier / 44.0;
      t.inter_factor[q][i] = fmt::kInterRow15[i] * multiplier / 44.0;
    }
  }
  return t;
}

} // namespace

const ReferenceTables &reference_tables() {
  static const ReferenceTables tables = build();
  return tables;
}

} // namespace vex::testkit::tolm
