#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

std::vector<BadInput> korvane_bad_inputs() {
  return {};
}

} // namespace bad_input
