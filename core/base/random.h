#ifndef VELMAR_CORE_BASE_RANDOM_H_
#define VELMAR_CORE_BASE_RANDOM_H_

#include <cstdint>

namespace velmar {

// Calendar time in whole seconds, for reseeding the generator. Tests and the
// command line's --seed replace it with a fixed value.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowSeconds() const = 0;
};

class SystemClock final : public Clock {
 public:
  int64_t NowSeconds() const override;
};

class FixedClock final : public Clock {
 public:
  explicit FixedClock(int64_t seconds) : seconds_(seconds) {}
  int64_t NowSeconds() const override { return seconds_; }
  void Set(int64_t seconds) { seconds_ = seconds; }

 private:
  int64_t seconds_;
};

// The process-wide clock used for every reseed. Defaults to SystemClock; the
// pointer is not owned and must outlive its use.
const Clock& CurrentClock();
void SetCurrentClock(const Clock* clock);  // nullptr restores the system clock

// 15-bit linear congruential generator: state = state * 22695477 + 1 (mod
// 2^32), value = (state >> 16) & 0x7FFF.
class Random15 {
 public:
  static constexpr int kMax = 0x7FFF;

  explicit Random15(uint32_t seed = 1) : state_(seed) {}
  void Seed(uint32_t seed) { state_ = seed; }
  // Reseeds from the whole seconds of `clock`, as done before every random fill.
  void SeedFromClock(const Clock& clock) { state_ = static_cast<uint32_t>(clock.NowSeconds()); }

  int Next() {
    state_ = state_ * 22695477u + 1u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

  // Uniform in [-0.1, 0.1]: r * 0.2 / 32767 - 0.1, stored as float32.
  float NextUniformTenth() { return static_cast<float>(Next() * 0.2 / 32767.0 - 0.1); }

  uint32_t state() const { return state_; }

 private:
  uint32_t state_;
};

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_RANDOM_H_
