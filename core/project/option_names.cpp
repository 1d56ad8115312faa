#include "core/project/option_names.h"

namespace velmar {

std::optional<int32_t> TrainingMethodFromKey(std::string_view key) {
  for (size_t i = 0; i < kTrainingMethodKeys.size(); ++i) {
    if (key == kTrainingMethodKeys[i]) return static_cast<int32_t>(i);
  }
  return std::nullopt;
}

}  // namespace velmar
