#include "computerskill.h"

#include <array>

namespace {

// In the order of ComputerSkill.
constexpr std::array<const char*, 4> kNames{"simple", "easy", "normal", "hard"};

}  // namespace

SkillProfile skillProfile(ComputerSkill skill) {
    switch (skill) {
        case ComputerSkill::Easy:
            // About three presses a second, and a pause to look before dropping.
            return {700, 330, 900, 30, false, false};
        case ComputerSkill::Normal:
            return {250, 125, 150, 10, true, false};
        case ComputerSkill::Hard:
            // As fast as the server takes presses: one every three ticks.
            return {0, 60, 0, 0, true, true};
        case ComputerSkill::Simple:
            break;
    }
    return {};
}

std::optional<ComputerSkill> skillFromName(const QString& name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (name == QLatin1String(kNames[i])) {
            return static_cast<ComputerSkill>(i);
        }
    }
    return std::nullopt;
}

QString skillName(ComputerSkill skill) {
    const auto i = static_cast<std::size_t>(skill);
    return QLatin1String(i < kNames.size() ? kNames[i] : kNames[0]);
}
