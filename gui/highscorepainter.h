#pragma once

#include <QCoreApplication>

#include "gui/overlaykit.h"

// The highscore screen: the page of a player count with its neighbours, the
// ten best games and Back.
class HighscorePainter : public OverlayKit {
    Q_DECLARE_TR_FUNCTIONS(OverlayPainter)

public:
    using OverlayKit::OverlayKit;

    void paint(QPainter& p);
};
