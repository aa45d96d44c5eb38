// The check that a pass over every kind of input and output (testkit/
// ogfile/every_kind.h) read and wrote everything it should, so that two
// passes that agree prove something.
#pragma once

#include "testkit/ogfile/every_kind.h"

namespace vex::ogtest {

// Every input read in full (damage only in the cut FLC; the missing name
// and the sound of a still refused), the sound of every input that has
// one, every output written (those of the kinds present in r) and exactly
// the files each should leave.
void expect_whole_pass(const testkit::PassResults &r);

} // namespace vex::ogtest
