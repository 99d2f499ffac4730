#include "platform/driver/key_codes.h"

namespace tw::platform {
namespace {

constexpr int kBackspace = 8, kTab = 9, kReturn = 13, kShift = 16, kControl = 17, kAlt = 18;
constexpr int kPause = 19, kCapsLock = 20, kEscape = 27, kSpace = 32;
constexpr int kPageUp = 33, kPageDown = 34, kEnd = 35, kHome = 36;
constexpr int kLeft = 37, kUp = 38, kRight = 39, kDown = 40, kInsert = 45, kDelete = 46;
constexpr int kKeypadDigit0 = 96, kKeypadMultiply = 106, kKeypadPlus = 107;
constexpr int kKeypadMinus = 109, kKeypadDecimal = 110, kKeypadDivide = 111;
constexpr int kF1 = 112;
constexpr int kMainPlus = 187;

// The X keysyms of the keypad's keys, KP_Space to KP_Equal.
constexpr quint32 kFirstKeypadKeysym = 0xff80, kLastKeypadKeysym = 0xffbd;

bool isKeypadKey(Qt::KeyboardModifiers modifiers, quint32 nativeKey) {
  return modifiers.testFlag(Qt::KeypadModifier) ||
         (nativeKey >= kFirstKeypadKeysym && nativeKey <= kLastKeypadKeysym);
}

int keypadCode(int qtKey) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return kKeypadDigit0 + (qtKey - Qt::Key_0);
  switch (qtKey) {
    case Qt::Key_Plus: return kKeypadPlus;
    case Qt::Key_Minus: return kKeypadMinus;
    case Qt::Key_Asterisk: return kKeypadMultiply;
    case Qt::Key_Slash: return kKeypadDivide;
    case Qt::Key_Period:
    case Qt::Key_Comma: return kKeypadDecimal;
    case Qt::Key_Enter: return kReturn;
    default: return -1;  // not a keypad key of its own: decided like a main key
  }
}

}  // namespace

int keyCodeFor(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeKey) {
  if (isKeypadKey(modifiers, nativeKey)) {
    const int code = keypadCode(qtKey);
    if (code >= 0) return code;
  }
  // Qt names letters by their capitals whatever the Shift state, as the core does.
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return qtKey;
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F16) return kF1 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Backspace: return kBackspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return kTab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return kReturn;
    case Qt::Key_Shift: return kShift;
    case Qt::Key_Control: return kControl;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return kAlt;
    case Qt::Key_Pause: return kPause;
    case Qt::Key_CapsLock: return kCapsLock;
    case Qt::Key_Escape: return kEscape;
    case Qt::Key_Space: return kSpace;
    case Qt::Key_PageUp: return kPageUp;
    case Qt::Key_PageDown: return kPageDown;
    case Qt::Key_End: return kEnd;
    case Qt::Key_Home: return kHome;
    case Qt::Key_Left: return kLeft;
    case Qt::Key_Up: return kUp;
    case Qt::Key_Right: return kRight;
    case Qt::Key_Down: return kDown;
    case Qt::Key_Insert: return kInsert;
    case Qt::Key_Delete: return kDelete;
    // The main keyboard's "=/+" key gives Key_Plus or Key_Equal by the Shift
    // state; both are the one key, so a press and its release still pair.
    case Qt::Key_Plus:
    case Qt::Key_Equal: return kMainPlus;
    default: return 0;
  }
}

}  // namespace tw::platform
