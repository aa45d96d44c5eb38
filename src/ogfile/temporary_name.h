// Outputs are written under a hidden temporary name in their own directory
// and renamed into place once complete, so a name never shows a
// half-written file: not after a failure, a cancel or a killed process.
#pragma once

#include <string>

namespace vex::ogfile {

// Reserves "<dir>/.vxXXXXXX" (an empty file, created exclusively, so two
// writers never share one) beside `final_name`; "" with the reason
// recorded when the directory cannot take a file.
std::string reserve_temporary(const std::string &final_name);

// Gives the finished temporary file (made with the permissions a new file
// gets, 0666 less the umask) the final name. False, with the reason recorded and
// the temporary removed, when the rename fails.
bool commit_temporary(const std::string &temporary, const std::string &final_name);

// Removes a file if it is there.
void remove_file(const std::string &name);

} // namespace vex::ogfile
