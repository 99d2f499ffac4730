#include "input/key_filter.h"

namespace tw {

void KeyFilter::press(int key, bool autoRepeat) {
  if (!autoRepeat) down_.insert(key);
}

bool KeyFilter::release(int key, bool autoRepeat) {
  if (autoRepeat) return false;
  return down_.erase(key) > 0;
}

}  // namespace tw
