// The key codes the core's key handler compares with, from Qt's keys. Only
// keypad +, F1, H, D and Q are commands; every other key ends the run, so the
// other codes merely have to differ from those five.
#pragma once

#include <Qt>

namespace tw::platform {

// The code of a key as the core knows it; 0 for a key without a code of its own.
int keyCodeFor(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace tw::platform
