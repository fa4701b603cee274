#include "app/Popover.h"

#include "app/QmlViews.h"
#include "app/WindowPositioner.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickView>
#include <QScreen>

namespace orb {

namespace {
constexpr qint64 kClickAfterFocusLossMs = 300;
} // namespace

Popover::Popover(QQmlEngine& engine, QVariantMap properties, QObject* parent)
    : QObject(parent), engine_(engine), properties_(std::move(properties)) {}

Popover::~Popover() {
    delete view_;
}

void Popover::ensureWindow() {
    if (view_)
        return;
    view_ = createView(engine_, QStringLiteral("StatsView.qml"), properties_);
    view_->setTitle(QStringLiteral("Orbimeter"));
    // A plain window type: compositors give keyboard focus to an unmanaged window of this type
    // (a tool or popup-menu type goes without on sway).
    view_->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                    Qt::X11BypassWindowManagerHint);
    view_->installEventFilter(this);
    view_->setMinimumSize(QSize(width, height));
    view_->setMaximumSize(QSize(width, height));
    view_->resize(width, height);
    connect(view_, &QWindow::activeChanged, this, [this] {
        if (view_->isVisible() && !view_->isActive()) {
            closedByFocusLoss_.start();
            close();
        }
    });
}

void Popover::prepare() {
    ensureWindow();
    // The native window and its renderer are created on first show; create them now.
    view_->create();
}

bool Popover::isOpen() const {
    return view_ && view_->isVisible();
}

void Popover::toggle(const QRect& anchor) {
    if (isOpen()) {
        close();
        return;
    }
    if (closedByFocusLoss_.isValid() && closedByFocusLoss_.elapsed() < kClickAfterFocusLossMs) {
        closedByFocusLoss_.invalidate();
        return;
    }
    open(anchor);
}

void Popover::open(const QRect& anchor) {
    ensureWindow();
    QScreen* screen = QGuiApplication::screenAt(anchor.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        view_->setPosition(popoverOrigin(anchor, screen->geometry(), screen->availableGeometry(),
                                         QSize(width, height)));
    }
    view_->show();
    view_->raise();
    // Through XWayland the compositor hands the keyboard to the window as it maps, and takes
    // back any focus a program sets itself, which would close the popover at once.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        view_->requestActivate();
    // Clicks outside come here while it is open, so they close it (X11: a pointer grab).
    view_->setMouseGrabEnabled(true);
    Q_EMIT openChanged(true);
}

void Popover::close() {
    if (!isOpen())
        return;
    view_->setMouseGrabEnabled(false);
    view_->hide();
    Q_EMIT openChanged(false);
}

bool Popover::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_)
        return false;
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    // With the pointer held, a press anywhere else on screen arrives here, outside the window.
    if (event->type() == QEvent::MouseButtonPress &&
        !QRectF(QPointF(), view_->size()).contains(static_cast<QMouseEvent*>(event)->position())) {
        closedByFocusLoss_.start(); // a click on the tray item must not open it again
        close();
        return true;
    }
    return false;
}

} // namespace orb
