// Whether the process can still open files. Qt takes descriptors behind the
// saver's back (a wake-up for each thread, a shared-memory segment for each
// window's picture), and where none is left it does not fail but waits for
// ever on the X server; the saver asks first.
#pragma once

namespace tw::platform {

// True when `wanted` more descriptors could be opened right now. Opens and
// closes them again; nothing is kept.
bool haveSpareDescriptors(int wanted);

}  // namespace tw::platform
