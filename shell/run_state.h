// Whether the run has ended, and with which exit status. Only the core ends
// a run; the platform reads the outcome and closes its windows.
#pragma once

namespace tw {

// How a run ended. A run whose record could not be kept ended as the user
// asked, but lost what it was to keep: that is a failure, as the line on
// stderr says, and it is told apart from a run-time error here, while both
// leave the program with the same exit code.
enum class ExitStatus { Success, AfterRunTimeError, RecordNotKept };

// The program's exit code for a status: 0 for success, 1 for either failure.
constexpr int exitCodeOf(ExitStatus status) { return status == ExitStatus::Success ? 0 : 1; }

class RunState {
 public:
  bool ended() const { return ended_; }
  ExitStatus exitStatus() const { return status_; }
  void end(ExitStatus status) {
    ended_ = true;
    status_ = status;
  }

 private:
  bool ended_ = false;
  ExitStatus status_ = ExitStatus::Success;
};

}  // namespace tw
