#ifndef VELMAR_CORE_SIMPLIFY_COUNTERS_H_
#define VELMAR_CORE_SIMPLIFY_COUNTERS_H_

#include <algorithm>
#include <cstdint>
#include <limits>

namespace velmar {

// The simplification totals come from project files, which may be damaged;
// arithmetic on them stops at the ends of the int32 range instead of
// overflowing.
inline int32_t SaturatedCount(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

inline void AddToCount(int32_t& counter, int64_t delta) {
  counter = SaturatedCount(static_cast<int64_t>(counter) + delta);
}

}  // namespace velmar

#endif  // VELMAR_CORE_SIMPLIFY_COUNTERS_H_
