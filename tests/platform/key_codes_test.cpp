#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "input/commands.h"
#include "platform/driver/key_codes.h"

namespace tw::platform {
namespace {

struct KeyCase {
  const char* name;
  int qtKey;
  Qt::KeyboardModifiers modifiers;
  int code;
  // The window system's own value for the key (QKeyEvent::nativeVirtualKey()):
  // the X keysym on X11 and on Wayland, 0 where the platform has none.
  quint32 native = 0;
};

// X keysyms, as both X11 and Wayland deliver them.
constexpr quint32 kSymPlus = 0x2b, kSymEqual = 0x3d, kSymF1 = 0xffbe, kSymKpAdd = 0xffab;
constexpr quint32 kSymKpSubtract = 0xffad, kSymKpEnter = 0xff8d, kSymKp7 = 0xffb7;
constexpr quint32 kSymKpHome = 0xff95, kSymKpSpace = 0xff80, kSymKpEqual = 0xffbd;

const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kKeypad = Qt::KeypadModifier;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;

const KeyCase kKeyCases[] = {
    {"KeypadPlusShowsTheLog", Qt::Key_Plus, kKeypad, kKeyNumpadPlus},
    {"MainPlusIsAnotherKey", Qt::Key_Plus, kNone, 187},
    {"MainPlusWithShiftIsTheSameKey", Qt::Key_Plus, kShift, 187},
    {"MainEqualsIsThePlusKeyUnshifted", Qt::Key_Equal, kNone, 187},
    {"F1ShowsHelp", Qt::Key_F1, kNone, kKeyF1},
    {"F2IsNotHelp", Qt::Key_F2, kNone, 113},
    {"LowerHHides", Qt::Key_H, kNone, kKeyH},
    {"UpperHHides", Qt::Key_H, kShift, kKeyH},
    {"LowerDTogglesFalls", Qt::Key_D, kNone, kKeyD},
    {"UpperDTogglesFalls", Qt::Key_D, kShift, kKeyD},
    {"LowerQGoesToTheAddress", Qt::Key_Q, kNone, kKeyQ},
    {"UpperQGoesToTheAddress", Qt::Key_Q, kShift, kKeyQ},
    {"OtherLettersAreTheirCapitals", Qt::Key_A, kNone, 65},
    {"LastLetter", Qt::Key_Z, kNone, 90},
    {"MainDigit", Qt::Key_7, kNone, 55},
    {"KeypadDigitIsNotAMainDigit", Qt::Key_7, kKeypad, 103},
    {"KeypadMinus", Qt::Key_Minus, kKeypad, 109},
    {"Escape", Qt::Key_Escape, kNone, 27},
    {"Space", Qt::Key_Space, kNone, 32},
    {"Return", Qt::Key_Return, kNone, 13},
    {"KeypadEnter", Qt::Key_Enter, kKeypad, 13},
    {"Shift", Qt::Key_Shift, kShift, 16},
    {"Control", Qt::Key_Control, Qt::ControlModifier, 17},
    {"Alt", Qt::Key_Alt, Qt::AltModifier, 18},
    {"Tab", Qt::Key_Tab, kNone, 9},
    {"UnnamedKeyIsZero", Qt::Key_VolumeUp, kNone, 0},
    {"KeypadKeyWithoutItsOwnCodeIsZero", Qt::Key_VolumeDown, kKeypad, 0},
    // As X11 delivers them: Qt sets KeypadModifier for keypad keys.
    {"X11KeypadPlusShowsTheLog", Qt::Key_Plus, kKeypad, kKeyNumpadPlus, kSymKpAdd},
    {"X11MainPlusIsAnotherKey", Qt::Key_Plus, kShift, 187, kSymPlus},
    {"X11MainEqualsIsThePlusKey", Qt::Key_Equal, kNone, 187, kSymEqual},
    {"X11KeypadDigit", Qt::Key_7, kKeypad, 103, kSymKp7},
    {"X11F1ShowsHelp", Qt::Key_F1, kNone, kKeyF1, kSymF1},
    // As Qt's Wayland support delivers them: no KeypadModifier, only the keysym
    // says the key is on the keypad.
    {"WaylandKeypadPlusShowsTheLog", Qt::Key_Plus, kNone, kKeyNumpadPlus, kSymKpAdd},
    {"WaylandMainPlusIsAnotherKey", Qt::Key_Plus, kShift, 187, kSymPlus},
    {"WaylandMainEqualsIsThePlusKey", Qt::Key_Equal, kNone, 187, kSymEqual},
    {"WaylandKeypadDigitIsNotAMainDigit", Qt::Key_7, kNone, 103, kSymKp7},
    {"WaylandKeypadMinus", Qt::Key_Minus, kNone, 109, kSymKpSubtract},
    {"WaylandKeypadEnter", Qt::Key_Enter, kNone, 13, kSymKpEnter},
    {"WaylandKeypadHomeIsHome", Qt::Key_Home, kNone, 36, kSymKpHome},
    {"WaylandKeypadSpaceIsSpace", Qt::Key_Space, kNone, 32, kSymKpSpace},
    {"WaylandKeypadEqualsIsThePlusKey", Qt::Key_Equal, kNone, 187, kSymKpEqual},
    // F1's keysym follows the keypad's last: it must stay F1.
    {"WaylandF1JustPastTheKeypadShowsHelp", Qt::Key_F1, kNone, kKeyF1, kSymF1},
};

TEST(KeyCodes, MapsTheQtKeyToTheCodeTheCoreComparesWith) {
  for (const KeyCase& c : kKeyCases) EXPECT_EQ(keyCodeFor(c.qtKey, c.modifiers, c.native), c.code) << c.name;
}

// Only the five command keys may carry command codes; anything else that
// happened to map to one would act as a command instead of ending the run.
TEST(KeyCodes, NoOtherKeyGivesACommandCode) {
  const int commands[] = {kKeyNumpadPlus, kKeyF1, kKeyH, kKeyD, kKeyQ};
  // The letters and signs with each modifier, and with every keypad keysym: a
  // keypad keysym makes only keypad + a command, however Qt names the key.
  std::vector<std::pair<Qt::KeyboardModifiers, quint32>> ways = {{kNone, 0}, {kKeypad, 0}, {kShift, 0}};
  for (quint32 sym = kSymKpSpace; sym <= kSymKpEqual; ++sym) ways.emplace_back(kNone, sym);
  for (const auto& [mods, sym] : ways) {
    for (int key = 0; key <= 0x7f; ++key) {
      const int code = keyCodeFor(key, mods, sym);
      const bool isCommandKey = key == Qt::Key_H || key == Qt::Key_D || key == Qt::Key_Q ||
                                (key == Qt::Key_Plus && (mods == kKeypad || sym != 0));
      if (std::find(std::begin(commands), std::end(commands), code) != std::end(commands)) {
        EXPECT_TRUE(isCommandKey) << "key " << key << " with keysym " << sym << " gives " << code;
      }
    }
  }
  for (int key = Qt::Key_Escape; key <= Qt::Key_F35; ++key) {
    const int code = keyCodeFor(key, kNone);
    if (key == Qt::Key_F1) continue;
    for (int command : commands) EXPECT_NE(code, command) << "key " << key;
  }
}

}  // namespace
}  // namespace tw::platform
