#include "platform/driver/tick_observer.h"

namespace tw::platform {

std::unique_ptr<TickObserver> makeTickObserver() { return nullptr; }

}  // namespace tw::platform
