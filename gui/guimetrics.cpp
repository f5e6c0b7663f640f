#include "guimetrics.h"

#include <algorithm>
#include <cmath>

#include "resources/resources.h"

namespace {

struct FontSpec {
    int size;
    bool bold;
    bool underline;
    bool overline;
};

constexpr std::array<FontSpec, GuiMetrics::FontCount> kFonts{{
    {15, true, false, false},   // Large
    {30, true, false, false},   // Menu
    {18, true, false, false},   // SmallMenu
    {30, false, false, false},  // Field
    {18, true, false, false},   // Message
    {7, true, false, false},    // Label
    {10, false, false, false},  // Chat
    {15, false, false, false},  // Panel
    {10, false, false, false},  // List
    {10, false, true, false},   // Underlined
    {10, false, false, true},   // Overlined
}};

}  // namespace

GuiMetrics::GuiMetrics() {
    buildFonts();
}

void GuiMetrics::resize(int width, int height) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    scale_ = std::min(height_ / 480.0, width_ / 640.0);
    aspect_ = std::clamp(double(width_) / height_, kMinAspect, kMaxAspect);
    buildFonts();
}

int GuiMetrics::scaled(double length) const {
    return int(std::lround(length * scale_));
}

void GuiMetrics::buildFonts() {
    const QString family = Resources::fontFamily();
    for (int i = 0; i < FontCount; ++i) {
        QFont font(family);
        font.setPixelSize(std::max(1, scaled(kFonts[i].size)));
        font.setBold(kFonts[i].bold);
        font.setUnderline(kFonts[i].underline);
        font.setOverline(kFonts[i].overline);
        fonts_[i] = font;
    }
}
