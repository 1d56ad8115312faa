#ifndef VELMAR_CORE_PROJECT_OPTION_NAMES_H_
#define VELMAR_CORE_PROJECT_OPTION_NAMES_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The names of the project options as the menus and the command line show
// them; each list is indexed by the option's value.
namespace velmar {

// TrainingMethod: the menu "Метод оптимизации".
inline constexpr std::string_view kTrainingMethodCaption = "Метод оптимизации";
inline constexpr std::array<std::string_view, 4> kTrainingMethodNames = {
    "Градиентный спуск", "Модифицированный ParTan", "Сопряженные градиенты", "BFGS"};
// The short names the command line takes for the methods.
inline constexpr std::array<std::string_view, 4> kTrainingMethodKeys = {"sd", "partan", "cg",
                                                                        "bfgs"};

// SensitivityNorm: the menu "Норма накопления значимости".
inline constexpr std::string_view kSensitivityNormCaption = "Норма накопления значимости";
inline constexpr std::array<std::string_view, 2> kSensitivityNormNames = {"Сумма модулей",
                                                                          "Максимум модуля"};

// BinaryWeightSet: the menu "Веса бинаризованных синапсов".
inline constexpr std::string_view kBinaryWeightSetCaption = "Веса бинаризованных синапсов";
inline constexpr std::array<std::string_view, 4> kBinaryWeightSetNames = {
    "±1", "±0.5, ±1", "±0.25, ±0.5, ±0.75, ±1",
    "±0.1, ±0.2, ±0.3, ±0.4, ±0.5, ±0.6, ±0.7, ±0.8, ±0.9, ±1"};

// ExtendTaskbook: a check item of its own.
inline constexpr std::string_view kExtendTaskbookCaption =
    "Расширять задачник при контрастировании входов";

// The name of `value` in `names`, or "?" for a value no menu offers.
template <size_t N>
constexpr std::string_view OptionName(const std::array<std::string_view, N>& names, int32_t value) {
  return value >= 0 && static_cast<size_t>(value) < N ? names[value] : std::string_view("?");
}

// The method a short name stands for.
std::optional<int32_t> TrainingMethodFromKey(std::string_view key);

}  // namespace velmar

#endif  // VELMAR_CORE_PROJECT_OPTION_NAMES_H_
