// The folder a program was started from: where the saver keeps walked.log
// when it can, and where the idle launcher finds the saver it starts.
#pragma once

#include <string>

namespace tw::common {

// The folder of the executable that a /proc/self/exe-like link names, byte for
// byte (a folder name need not be UTF-8), without a trailing separator; empty
// when the link cannot be read.
std::string executableFolderFrom(const char* exeLink);
// The running program's folder, from /proc/self/exe.
std::string executableFolder();

}  // namespace tw::common
