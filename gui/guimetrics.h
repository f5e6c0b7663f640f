#pragma once

#include <QFont>
#include <array>

// Sizes of the 2D layer: the scale factor (1.0 at 640 by 480), the aspect
// factor the 3D projection reads, and the fonts, all recomputed on resize.
class GuiMetrics {
public:
    enum FontRole {
        Large,       // frame counter
        Menu,        // menu entries, titles
        SmallMenu,   // "About" entry, sub-texts
        Field,       // value fields
        Message,     // message box, server list messages
        Label,       // point labels
        Chat,        // chat lines
        Panel,       // score, time, player list
        List,        // list rows
        Underlined,  // list headers
        Overlined,   // list lines
        FontCount
    };

    static constexpr double kMinAspect = 1.25;
    static constexpr double kMaxAspect = 16.0 / 9.0;

    // Needs a QGuiApplication: the fonts are the bundled family.
    GuiMetrics();

    void resize(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; }
    double aspect() const { return aspect_; }
    // A length times the scale factor, rounded to whole pixels.
    int scaled(double length) const;
    const QFont& font(FontRole role) const { return fonts_[role]; }

private:
    void buildFonts();

    int width_ = 640;
    int height_ = 480;
    double scale_ = 1.0;
    double aspect_ = 4.0 / 3.0;
    std::array<QFont, FontCount> fonts_;
};
