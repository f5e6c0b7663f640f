#pragma once

#include <QString>
#include <optional>

// How well a computer player plays. Simple is the plain placement policy that
// short test games rely on; the other three are the planning player at three
// speeds of hand and eye.
enum class ComputerSkill { Simple, Easy, Normal, Hard };

// What a skill level means in numbers.
struct SkillProfile {
    int reactionMs = 0;        // from a new piece to its first press
    int pressIntervalMs = 0;   // between two presses
    int dropDelayMs = 0;       // at the target, before the drop
    int weakerPercent = 0;     // pieces that go to a weaker placement on purpose
    bool lookahead = false;    // weighs the next piece too
    bool combineKeys = false;  // turns and steps with the same press
};

SkillProfile skillProfile(ComputerSkill skill);
// "simple", "easy", "normal" or "hard"; anything else is no skill.
std::optional<ComputerSkill> skillFromName(const QString& name);
QString skillName(ComputerSkill skill);
