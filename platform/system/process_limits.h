// What the process makes sure of before it starts anything: that the system's
// limits cannot kill it midway, and that it has the room to start at all.
#pragma once

namespace tw::platform {

// A write past the file-size limit (SIGXFSZ) or into a closed pipe or socket
// (SIGPIPE) fails with an error from then on instead of killing the saver.
void survivePipesAndFileLimits();

// True when the process has the room in its address space that Qt and the
// libraries below it need to start; else says why in one line on stderr.
bool roomToStart();

}  // namespace tw::platform
