// The window screenS: its scene elements, its module variables and every
// handler and procedure of the program. The handlers are defined in the
// folder of their subsystem (walk/, log/, input/); this object holds all of
// the state, so two windows side by side never disturb each other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shell/elements.h"
#include "shell/random.h"
#include "shell/runtime.h"
#include "shell/services.h"

namespace tw {

inline constexpr const char* kMakerAddress = "https://korvek.example";

// Key codes the key handler compares with (the platform maps its own keys).
inline constexpr int kKeyNumpadPlus = 107;
inline constexpr int kKeyH = 72;
inline constexpr int kKeyQ = 81;
inline constexpr int kKeyD = 68;
inline constexpr int kKeyF1 = 112;

class ScreenS {
 public:
  explicit ScreenS(Services& services);
  ScreenS(const ScreenS&) = delete;
  ScreenS& operator=(const ScreenS&) = delete;

  // --- Events, as the platform delivers them. Each runs one handler to its
  // end; a run-time error that the handler does not trap is shown and ends the
  // program. Nothing is delivered once the window is unloaded, and no event
  // runs inside another (a modal box inside a handler included).
  void load();
  void keyUp(int keyCode);
  // A click at a point of the window, in twips: a click on a visible label's
  // box or on the walker's picture belongs to that element and does nothing.
  void clickAt(float x, float y);

  // Virtual time: runs every tick due up to `ms`, each exactly at its due time.
  void advanceTo(int64_t ms);
  void advanceBy(int64_t ms) { advanceTo(now_ + ms); }
  // Real time: each overdue timer ticks once, however far the clock has fallen
  // behind, and its next tick is kept in phase when it can be.
  void catchUp(int64_t ms);
  // The next due time of any running timer.
  std::optional<int64_t> nextDue() const;
  int64_t now() const { return now_; }
  bool unloaded() const { return unloaded_; }
  bool busy() const { return busy_; }

  // --- Window and screen.
  float Width = 0, Height = 0, WindowLeft = 0, WindowTop = 0;
  std::string WindowCaption = "Form1";
  float ScreenWidth() const { return services_.screenSize().width; }
  float ScreenHeight() const { return services_.screenSize().height; }

  // --- Scene elements with their design-time values.
  Label Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8;
  Image Image1;
  Line Line1, Line2;
  const ImageList ImageList1, ImageList2, ImageList3;

 private:
  Services& services_;
  int64_t now_ = 0;  // declared before the timers, which read it

 public:
  Timer Timer1, Timer2, Timer3, Timer4;

  // --- Module variables; each is 0 when the window is loaded.
  Int16 walkDirection;
  Int16 walkFrame;
  float walkedDistance = 0;
  Int16 trenchChance;
  int32_t walkerTop = 0;  // 32 bits, so lanes on very tall screens fit
  Int16 fallsEnabled;
  Int16 fallStarted;
  Int16 dropTicksLeft;
  Int16 dropFrame;
  Int16 fallFrame;
  Int16 fallHold;
  Int16 idleFrame;

  // --- Handlers.
  void Form_Load();
  void Form_KeyUp(int keyCode);
  void Form_Click();
  void Timer1_Timer();
  void Timer2_Timer();
  void Timer3_Timer();
  void Timer4_Timer();

  // --- Procedures.
  void SetUpCourse();
  void RollTrenchChance();
  void OpenTrench();
  void StartFall();
  void StartIdleAnimation();
  void PrepareLogFile();
  void SaveLogAndQuit();
  void ShowLoggedDistances();

  // The log file's path beside the executable; empty when that folder is unknown.
  std::string logPath() const;

 private:
  template <class Handler>
  void dispatch(Handler&& handler);
  void tick(int timerNumber);
  Timer& timer(int number);
  const Timer& timer(int number) const;
  void layLane(int32_t y);
  void layReadout(int32_t x);
  bool laneAccepted() const;
  bool readoutAccepted() const;
  const std::string& nowTimeText();

  Random rnd_;
  LocalTime clockSecond_;
  std::string clockText_;
  bool busy_ = false;
  bool unloaded_ = false;
};

}  // namespace tw
