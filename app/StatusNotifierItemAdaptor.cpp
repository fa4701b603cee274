#include "StatusNotifierItemAdaptor.h"

namespace orb {

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(StatusNotifierItem* item)
    : QDBusAbstractAdaptor(item), item_(item) {}

QString StatusNotifierItemAdaptor::category() const {
    return QStringLiteral("ApplicationStatus");
}

QString StatusNotifierItemAdaptor::id() const {
    return item_->id_;
}

QString StatusNotifierItemAdaptor::title() const {
    return item_->title_;
}

// The readings are always worth showing, so the item never asks to blink; it asks to be
// hidden only while it has nothing to show.
QString StatusNotifierItemAdaptor::status() const {
    return item_->active_ ? QStringLiteral("Active") : QStringLiteral("Passive");
}

int StatusNotifierItemAdaptor::windowId() const {
    return 0;
}

QString StatusNotifierItemAdaptor::emptyName() const {
    return {};
}

SniPixmapList StatusNotifierItemAdaptor::iconPixmap() const {
    return item_->iconPixmaps_;
}

SniPixmapList StatusNotifierItemAdaptor::noPixmaps() const {
    return {};
}

SniToolTip StatusNotifierItemAdaptor::toolTip() const {
    return item_->toolTip_;
}

// What a screen reader says of the icon: the tooltip's text, which names the reading shown.
QString StatusNotifierItemAdaptor::accessibleDescription() const {
    return item_->toolTip_.text.isEmpty() ? item_->title_ : item_->toolTip_.text;
}

// A left click is ours to handle (it opens our window); the menu is for a right click, or for
// hosts that show a menu on any click.
bool StatusNotifierItemAdaptor::itemIsMenu() const {
    return false;
}

QDBusObjectPath StatusNotifierItemAdaptor::menu() const {
    return QDBusObjectPath(item_->menuPath_.isEmpty() ? QStringLiteral("/NO_DBUSMENU")
                                                      : item_->menuPath_);
}

QString LabelledStatusNotifierItemAdaptor::label() const {
    return item_->label_;
}

QString LabelledStatusNotifierItemAdaptor::labelGuide() const {
    return item_->labelGuide_;
}

uint LabelledStatusNotifierItemAdaptor::orderingIndex() const {
    return 0;
}

void StatusNotifierItemAdaptor::Activate(int x, int y) {
    emit item_->activated(QPoint(x, y));
}

void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y) {
    emit item_->secondaryActivated(QPoint(x, y));
}

void StatusNotifierItemAdaptor::ContextMenu(int x, int y) {
    emit item_->contextMenuRequested(QPoint(x, y));
}

// Scrolling over the icon has no meaning for a monitor; the method exists because hosts call
// it and would log an error for an unknown method.
void StatusNotifierItemAdaptor::Scroll(int, const QString&) {}

} // namespace orb
