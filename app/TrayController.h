#pragma once

#include "views/LabelRenderer.h"

#include <QObject>
#include <QRect>
#include <memory>

class QDBusServiceWatcher;
class QSystemTrayIcon;

namespace orb {

class Preferences;
class StatusNotifierItem;
class SystemMonitor;

// Keeps the tray item in step with the readings and the settings. The label is rebuilt at most
// once per turn of the event loop however many fields changed, and the host is sent only what
// actually changed.
class TrayController : public QObject {
    Q_OBJECT
public:
    enum class Host { statusNotifier, systemTray };

    TrayController(SystemMonitor& monitor, Preferences& prefs, QObject* parent = nullptr);
    ~TrayController() override;

    Host host() const { return host_; }
    // The label last built.
    const Label& label() const { return label_; }
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

private Q_SLOTS:
    void scheduleRebuild();

private:
    // Publishes our own item when a watcher is there to take it; false otherwise.
    bool useStatusNotifier();
    // Leaves the X11 tray for our own item once a watcher has appeared.
    void moveToStatusNotifier(int attempt);
    LabelSettings currentSettings() const;

    SystemMonitor& monitor_;
    Preferences& prefs_;
    Host host_ = Host::systemTray;
    std::unique_ptr<StatusNotifierItem> statusNotifier_;
    std::unique_ptr<QSystemTrayIcon> systemTray_;
    std::unique_ptr<QDBusServiceWatcher> watcherWatch_;
    Label label_;
    QImage lastIcon_;
    QString lastToolTip_;
    QPoint lastActivation_;
    bool rebuildPending_ = false;
    int rebuilds_ = 0;
};

} // namespace orb
