#ifndef VELMAR_CORE_ENGINE_PERTURB_H_
#define VELMAR_CORE_ENGINE_PERTURB_H_

#include <optional>
#include <string>
#include <string_view>

#include "core/base/host.h"
#include "core/engine/neural_net.h"

namespace velmar {

// The level the perturbation dialog starts with and falls back to.
constexpr float kDefaultBumpLevel = 0.01f;
// The level the training driver uses to shake a stuck method loose.
constexpr float kStuckBumpLevel = 0.001f;

// Moves every trainable parameter by level * u, u uniform in [-0.1, 0.1] from
// the generator reseeded from CurrentClock(), then clamps every parameter to
// its bounds. SavedParameters is used as scratch for the random vector.
void Perturb(NeuralNet& net, float level);

// Reads the perturbation level typed by the user (the host's decimal
// separator or '.'). A text that is not a number in [0, 1] is refused with a
// message through `host`, and nothing is returned.
std::optional<float> ParseBumpLevel(std::string_view text, Host& host);

// The text the level edit shows initially and after a refusal.
std::string DefaultBumpLevelText(char decimal_separator);

}  // namespace velmar

#endif  // VELMAR_CORE_ENGINE_PERTURB_H_
