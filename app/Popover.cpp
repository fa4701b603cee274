#include "app/Popover.h"

#include "app/QmlViews.h"
#include "app/WindowPositioner.h"

#include <QGuiApplication>
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
    view_->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
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
    view_->requestActivate();
    Q_EMIT openChanged(true);
}

void Popover::close() {
    if (!isOpen())
        return;
    view_->hide();
    Q_EMIT openChanged(false);
}

} // namespace orb
