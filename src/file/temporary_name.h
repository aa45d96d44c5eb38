// Outputs are written under a hidden temporary name in their own folder
// and renamed into place once complete, so a name never shows a
// half-written file: not after a failure, a cancel or a killed process.
// The rename stays within one folder, so within one file system, where
// the system makes it atomic. The flat interface (VEXFileReserveTemporary
// and its partners in vexutil/file.h) is these three.
#pragma once

#include <string>

namespace vex::file {

// Reserves "<folder>/.vxXXXXXX" (an empty file, created exclusively, so two
// writers never share one) beside `final_name`, whose folder is what comes
// before its last '/' (the current folder without one); "" with the reason
// recorded when the folder cannot take a file.
std::string reserve_temporary(const std::string &final_name);

// The length of the name reserve_temporary gives for `final_name`.
size_t temporary_name_length(const std::string &final_name);

// Gives the finished temporary file (made with the permissions a new file
// gets, 0666 less the umask) the final name, replacing a file of that name.
// False, with the reason recorded and the temporary removed, when the
// rename fails.
bool commit_temporary(const std::string &temporary, const std::string &final_name);

// Removes a file if it is there ("" is ignored).
void remove_file(const std::string &name);

} // namespace vex::file
