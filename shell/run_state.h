// Whether the run has ended, and with which exit status. Only the core ends
// a run; the platform reads the outcome and closes its windows.
#pragma once

namespace tw {

// A run whose record could not be kept ended as the user asked, but lost what
// it was to keep: that is a failure, and the status says so, as the line on
// stderr does.
enum class ExitStatus { Success = 0, AfterRunTimeError = 1, RecordNotKept = 1 };

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
