#include "core/base/random.h"

#include <ctime>

namespace velmar {
namespace {

const SystemClock kSystemClock;
const Clock* g_clock = &kSystemClock;

}  // namespace

int64_t SystemClock::NowSeconds() const { return static_cast<int64_t>(std::time(nullptr)); }

const Clock& CurrentClock() { return *g_clock; }

void SetCurrentClock(const Clock* clock) { g_clock = clock != nullptr ? clock : &kSystemClock; }

}  // namespace velmar
