#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QVariantMap>

class QQmlEngine;
class QQuickView;

namespace orb {

// The panel that opens from the tray item: a frameless window of fixed size that closes when it
// loses focus, on a click anywhere outside it (the tray item included) and on Escape.
//
// Window managers and compositors put a managed window where they like (sway centres it), so
// the popover is a window they leave alone: placed where it is asked to be, kept out of
// taskbars and pagers. It takes the keyboard itself, and holds the pointer while open so that
// a click outside reaches it, not the desktop.
class Popover : public QObject {
    Q_OBJECT
public:
    static constexpr int width = 340;
    static constexpr int height = 750;

    // `properties` are the page's required properties (the monitor and the shell actions).
    Popover(QQmlEngine& engine, QVariantMap properties, QObject* parent = nullptr);
    ~Popover() override;

    // Opens against the panel that holds `anchor` (the tray item's geometry, or a zero-size
    // rectangle at the click point), or closes it when open.
    void toggle(const QRect& anchor);
    // Builds the window and its page ahead of the first click, so that opening only builds the
    // cards; a hidden popover holds no cards and does no work.
    void prepare();
    void open(const QRect& anchor);
    void close();
    bool isOpen() const;
    QQuickView* window() const { return view_; }

Q_SIGNALS:
    void openChanged(bool open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ensureWindow();

    QQmlEngine& engine_;
    QVariantMap properties_;
    QQuickView* view_ = nullptr;
    // A click on the tray item first takes the focus away from the popover, which closes it;
    // the click itself must then not open it again.
    QElapsedTimer closedByFocusLoss_;
};

} // namespace orb
