#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>
#include <cstdint>
#include <optional>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace orb::platform {

class PropertyTable;

// A cache of what the UPower daemon says about the machine's battery: its display device (the
// batteries taken together, as the desktop's own indicator shows them) and whether the machine
// runs on battery. The cache is filled by one asynchronous GetAll per object whenever the
// daemon appears and kept current by its PropertiesChanged signals, so reading it never waits
// for the bus. Lives on the thread that created it, which needs an event loop.
class UPowerClient final : public QObject {
    Q_OBJECT

public:
    // `bus` is the system bus in the program; tests pass a private bus.
    explicit UPowerClient(QDBusConnection bus, QObject* parent = nullptr);

    // The daemon is on the bus and both objects have been read.
    bool available() const { return daemonLoaded_ && displayLoaded_; }
    // The battery's power-source description (see PowerSources.h); empty when the daemon is not
    // available or the machine has no battery.
    std::optional<PropertyTable> description() const;

signals:
    // The availability or the description changed.
    void changed();

private slots:
    void onPropertiesChanged(const QDBusMessage& message);

private:
    void ownerChanged(const QString& newOwner);
    void requestAll(const QString& path, const QString& interface);
    void receiveAll(QDBusPendingCallWatcher* call, const QString& path, std::uint64_t generation);
    // Applies `update` to the cache and signals when what callers see has changed.
    template <typename Update> void updateCache(Update update);

    QDBusConnection bus_;
    // Counts the daemon's appearances, so that a reply meant for an earlier one is dropped.
    std::uint64_t generation_ = 0;
    bool daemonLoaded_ = false;
    bool displayLoaded_ = false;
    bool onBattery_ = false;
    QVariantMap display_;
};

} // namespace orb::platform
