#include "computerskill.h"

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
    for (ComputerSkill s :
         {ComputerSkill::Simple, ComputerSkill::Easy, ComputerSkill::Normal, ComputerSkill::Hard}) {
        if (name == skillName(s)) {
            return s;
        }
    }
    return std::nullopt;
}

QString skillName(ComputerSkill skill) {
    switch (skill) {
        case ComputerSkill::Easy:
            return QStringLiteral("easy");
        case ComputerSkill::Normal:
            return QStringLiteral("normal");
        case ComputerSkill::Hard:
            return QStringLiteral("hard");
        case ComputerSkill::Simple:
            break;
    }
    return QStringLiteral("simple");
}
