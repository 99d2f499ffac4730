// What xdg-screensaver (xdg-utils) leaves behind when it suspends the X
// screen saver on a bare X11 session: there it only switches the X screen
// saver off (xset s off) and keeps a record of the windows it did it for,
// each watched by an xprop until the window goes. That record, not the
// timeout of 0, is the inhibitor: a user who switched the X screen saver off
// for good still gets the saver.
#pragma once

#include <string>
#include <vector>

namespace tw::idle {

// The record xdg-screensaver keeps of the windows it suspends the X screen
// saver for, on a bare X11 session: one "WINDOW:PID" line per window, each
// with the xprop that watches it; the file of the user USER on display
// DISPLAY, as xdg-screensaver names it.
std::string xdgScreensaverFile(const std::string& user, const std::string& display);
// The windows of that record whose watcher still runs, from its text and a
// test for "this process is xprop".
std::vector<std::string> xdgSuspendedWindows(const std::string& record,
                                             bool (*isWatcher)(long pid));

}  // namespace tw::idle
