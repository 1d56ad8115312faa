#ifndef VELMAR_CORE_DATA_PROJECT_OPTIONS_H_
#define VELMAR_CORE_DATA_PROJECT_OPTIONS_H_

#include <cstdint>

namespace velmar {

// The four per-project options, stored in the project file.
struct ProjectOptions {
  int32_t TrainingMethod = 2;   // 0 steepest descent, 1 ParTan, 2 conjugate gradients, 3 BFGS
  int32_t SensitivityNorm = 0;  // 0 sum of moduli, 1 maximum of modulus
  int32_t BinaryWeightSet = 0;  // level sets 0..3
  int32_t ExtendTaskbook = 0;   // rebuild the taskbook after each pruned input
};

}  // namespace velmar

#endif  // VELMAR_CORE_DATA_PROJECT_OPTIONS_H_
