// What the core asks the machine to do, as against what it asks it (the
// Services): a box to show, an address to open, a line to tell the user. A
// handler only queues them and returns; the platform takes them in order once
// the handler has ended. A box is modal: what a handler leaves for after it
// runs once it has been answered.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tw {

// A modal box with a critical icon and one OK button.
struct MessageBox {
  std::string text, title;
};
// A run-time error that no handler trapped; the run has ended by then.
struct RunTimeErrorBox {
  int number = 0;
  std::string message;
};
// An address for the desktop to open; whether it succeeds is not reported.
struct OpenAddress {
  std::string address;
};
// One line for the user on the standard error stream (the program's name goes
// in front of it).
struct TellUser {
  std::string line;
};

using Request = std::variant<MessageBox, RunTimeErrorBox, OpenAddress, TellUser>;

inline bool isBox(const Request& request) {
  return std::holds_alternative<MessageBox>(request) || std::holds_alternative<RunTimeErrorBox>(request);
}

class Outbox {
 public:
  void push(Request request) { queued_.push_back({std::move(request), {}}); }
  // Runs `next` at once when no box waits to be shown or answered; otherwise
  // once the last of them has been answered.
  void then(std::function<void()> next) {
    const auto lastBox = std::find_if(queued_.rbegin(), queued_.rend(),
                                      [](const Queued& q) { return isBox(q.request); });
    if (lastBox != queued_.rend()) lastBox->afterAnswer.push_back(std::move(next));
    else if (awaiting_) afterAnswer_.push_back(std::move(next));
    else next();
  }
  // The next request, in order; none while a box taken earlier waits for its answer.
  std::optional<Request> take() {
    if (awaiting_ || queued_.empty()) return std::nullopt;
    Queued front = std::move(queued_.front());
    queued_.pop_front();
    awaiting_ = isBox(front.request);
    afterAnswer_ = std::move(front.afterAnswer);
    return std::move(front.request);
  }
  // Whether a box waits to be shown or answered.
  bool holdsBox() const {
    return awaiting_ || std::any_of(queued_.begin(), queued_.end(), [](const Queued& q) { return isBox(q.request); });
  }
  // The box taken last has been answered: what waited for it, for the caller
  // to run in order.
  std::vector<std::function<void()>> answered() {
    awaiting_ = false;
    return std::exchange(afterAnswer_, {});
  }

 private:
  struct Queued {
    Request request;
    // What runs once this box is answered.
    std::vector<std::function<void()>> afterAnswer;
  };
  std::deque<Queued> queued_;
  bool awaiting_ = false;
  std::vector<std::function<void()>> afterAnswer_;
};

}  // namespace tw
