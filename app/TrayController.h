#pragma once

#include "app/TrayHost.h"
#include "views/LabelRenderer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace orb {

class DBusMenu;
class Preferences;
class StatusNotifierItem;
class SystemMonitor;

// Keeps the tray item in step with the readings and the settings. The label is rebuilt at most
// once per turn of the event loop however many fields changed, and the host is sent only what
// actually changed.
//
// The item is offered to the panel's status notifier watcher first; until a watcher accepts it
// (none on the bus, or one that has not answered yet), the X11 system tray shows it instead.
// Where the host draws no text beside an icon (every X11 tray, and the status notifier hosts of
// most desktops), the number gets an item of its own next to the rings.
class TrayController : public QObject {
    Q_OBJECT
public:
    enum class Host { statusNotifier, systemTray };

    TrayController(SystemMonitor& monitor, Preferences& prefs, QObject* parent = nullptr);
    ~TrayController() override;

    Host host() const { return host_; }
    // The label last built.
    const Label& label() const { return label_; }
    // Whether the number shows as an item of its own next to the rings.
    bool showsNumberItem() const;
    QString toolTip() const;
    // The tray item's place on screen, or a zero-size rectangle at the pointer when the host
    // does not tell.
    QRect anchor() const;
    int rebuildCount() const { return rebuilds_; }

    // Rebuilds now (normally queued for the next turn of the event loop).
    void rebuild();

Q_SIGNALS:
    // The user clicked the tray item; `anchor` is where the popover should open.
    void activated(const QRect& anchor);
    // The user chose these in the item's menu.
    void settingsRequested();
    void quitRequested();

private Q_SLOTS:
    void scheduleRebuild();

private:
    void moveToStatusNotifier();
    void moveToSystemTray();
    std::unique_ptr<QSystemTrayIcon> makeSystemTrayIcon();
    std::unique_ptr<StatusNotifierItem> makeStatusNotifierItem(const QString& id,
                                                               const QString& title,
                                                               const QString& path, bool withLabel);
    LabelSettings currentSettings() const;
    PanelColors panelColors();
    QImage numberIconFor(const QString& text, const QColor& textColor, qreal ratio);

    SystemMonitor& monitor_;
    Preferences& prefs_;
    const TrayHost desktop_;
    std::unique_ptr<DBusMenu> menu_;
    Host host_ = Host::systemTray;
    std::unique_ptr<StatusNotifierItem> ringsItem_;
    std::unique_ptr<StatusNotifierItem> numberItem_;
    std::unique_ptr<QSystemTrayIcon> ringsIcon_;
    std::unique_ptr<QSystemTrayIcon> numberIcon_;
    std::optional<QColor> trayTextColor_;
    std::optional<QColor> panelBackground_;
    QElapsedTimer backgroundAge_;
    Label label_;
    QImage lastIcon_;
    QImage lastNumberIcon_;
    // The number's own icon and what it was drawn from. Drawing text is the costlier half of
    // the tray's drawing, and at rest the number changes far less often than the rings.
    struct NumberDrawing {
        QString text;
        QColor color;
        qreal ratio = 0;
        QImage image;
    };
    NumberDrawing numberDrawing_;
    QString lastToolTip_;
    QPoint lastActivation_;
    bool rebuildPending_ = false;
    int rebuilds_ = 0;
};

} // namespace orb
