#pragma once

#include <QCoreApplication>
#include <QMap>

#include "gui/menumodel.h"
#include "gui/overlaykit.h"

class QFontMetrics;
class ServerData;
class ServerListModel;

// The server list screen, top to bottom: title, filter row, column headers,
// a page of servers (or what keeps them away), the page line with its
// neighbours, and Update and Back.
class ServerListPainter : public OverlayKit {
    Q_DECLARE_TR_FUNCTIONS(OverlayPainter)

public:
    ServerListPainter(GuiController& gui, const GuiMetrics& metrics);

    void paint(QPainter& p);

private:
    // Each part paints from y down and returns where the next one starts.
    int paintTitle(QPainter& p, int y);
    int paintFilters(QPainter& p, int y);
    int paintHeaders(QPainter& p, int y);
    // Why no servers show: retrieving, no master server, none (matching);
    // empty when there are servers to list.
    QString notice() const;
    void paintNotice(QPainter& p, const QString& text, int top);
    void paintRows(QPainter& p, int top);
    // Ranked and locked servers carry a mark before the name, those found on a
    // local network one at the end of the name's column.
    void paintRow(QPainter& p, const ServerData& s, int entry, int y, const QFontMetrics& fm);
    int paintPageLine(QPainter& p, int y);
    void paintButtons(QPainter& p, int y);
    QRect columnRect(int column, int top, int height) const;

    const ServerListModel& model_;
    MenuScreen screen_;
    QMap<int, MenuEntry> entries_;
    int margin_ = 0;
    int width_ = 0;
    int rowHeight_ = 0;
};
