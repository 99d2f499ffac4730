// What the core asks of the machine it runs on, but for the log's files,
// which the log reaches through a disk of its own (log/log_disk.h); what it
// asks the machine to do (boxes, an address, a line for the user) goes out
// through its Outbox (shell/outbox.h). The Qt layer implements it for real;
// tests implement it with a wall clock on virtual time, a fixed screen and a
// deterministic text measure.
#pragma once

#include <string>
#include <string_view>


namespace tw {

struct Font {
  std::string name;
  float size = 8.25f;  // points
  int weight = 400;    // 400 normal, 700 bold, 900 black
  friend bool operator==(const Font&, const Font&) = default;
};

struct Extent {
  float width = 0;   // twips
  float height = 0;  // twips
};

struct LocalTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Services {
 public:
  virtual ~Services() = default;

  // The screen's size in twips.
  virtual Extent screenSize() = 0;
  // The extent of a caption (possibly several CR LF lines) in a font, in twips.
  virtual Extent measureText(std::string_view text, const Font& font) = 0;
  virtual LocalTime localTime() = 0;
  // The folder that holds walked.log, byte for byte, without a trailing
  // separator; empty when there is none, and the run then keeps no log. The
  // same folder for the whole run, wherever it is moved meanwhile.
  virtual std::string logFolder() = 0;
};

}  // namespace tw
