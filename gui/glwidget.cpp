#include "glwidget.h"

#include <QGuiApplication>
#include <QVBoxLayout>

GLWidget::GLWidget(Client* client, uint resWidth, uint resHeight, QWidget* parent,
                   GuiEnvironment environment)
    : QWidget(parent),
      surface_(new GameSurface(client, resWidth, resHeight, std::move(environment))) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* container = QWidget::createWindowContainer(surface_, this);
    // The widget keeps the focus among widgets; the container would pass Tab
    // along the focus chain.
    container->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(container);
    setFocusPolicy(Qt::StrongFocus);
    // The main window took the keyboard (shown, clicked on, given it by a
    // window manager or a tool). The widget takes the keys that arrive there
    // and hands the keyboard on to the surface; the X server may refuse that
    // for a moment (Qt asks with the time of the last event it saw), so the
    // keys must not depend on it.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (focus != nullptr && focus == window()->windowHandle()) {
            setFocus(Qt::ActiveWindowFocusReason);
            activateSurface();
        }
    });
}

void GLWidget::activateSurface() {
    if (surface_->isVisible() && QGuiApplication::focusWindow() != surface_) {
        surface_->requestActivate();
    }
}

bool GLWidget::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
            // Input that reached the widget (while the main window holds the
            // keyboard, or sent by a test) goes to the one place that handles it.
            // Tab too: it is the game's (the full player list), not the focus
            // chain's.
            QCoreApplication::sendEvent(surface_, event);
            return event->isAccepted();
        default:
            return QWidget::event(event);
    }
}

void GLWidget::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    activateSurface();
}
