// The key codes the core's key handler compares with, from Qt's keys. Only
// keypad +, F1, H, D and Q are commands; every other key ends the run, so the
// other codes merely have to differ from those five.
#pragma once

#include <QtGlobal>
#include <Qt>

namespace tw::platform {

// The code of a key as the core knows it; 0 for a key without a code of its own.
// `nativeKey` is the window system's own value for the key (the X keysym, on
// X11 and on Wayland alike; 0 where there is none): keypad keys are told apart
// by it where Qt leaves out Qt::KeypadModifier, as its Wayland support does.
int keyCodeFor(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeKey = 0);

}  // namespace tw::platform
