// The folder the saver was started from, where walked.log is kept when it
// can be.
#pragma once

#include <string>

namespace tw::platform {

// The folder of the executable that a /proc/self/exe-like link names, byte for
// byte (a folder name need not be UTF-8), without a trailing separator; empty
// when the link cannot be read.
std::string executableFolderFrom(const char* exeLink);
// The running program's folder, from /proc/self/exe.
std::string executableFolder();

}  // namespace tw::platform
