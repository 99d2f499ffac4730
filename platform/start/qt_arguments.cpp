#include "platform/start/qt_arguments.h"

#include <utility>

namespace tw::platform {

QtArguments::QtArguments(std::string platforms) : platforms_(std::move(platforms)) {
  pointers_.push_back(name_.data());
  if (!platforms_.empty()) {
    pointers_.push_back(platformOption_.data());
    pointers_.push_back(platforms_.data());
  }
  count_ = static_cast<int>(pointers_.size());
  // argv ends with a null pointer, as a program's own does.
  pointers_.push_back(nullptr);
}

}  // namespace tw::platform
