#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

std::vector<BadInput> movie_bad_inputs() {
  return {};
}

} // namespace bad_input
