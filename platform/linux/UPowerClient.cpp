#include "platform/linux/UPowerClient.h"

#include "platform/PowerSources.h"
#include "platform/PropertyValue.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <algorithm>
#include <cmath>
#include <type_traits>

namespace orb::platform {

namespace {

const QString service = QStringLiteral("org.freedesktop.UPower");
const QString daemonPath = QStringLiteral("/org/freedesktop/UPower");
const QString daemonInterface = QStringLiteral("org.freedesktop.UPower");
const QString displayPath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString deviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// UPower's device kinds and states, as its interface defines them.
constexpr qulonglong batteryKind = 2;
constexpr qulonglong chargingState = 1;

// A property's value with any variant wrapping taken off.
QVariant plain(QVariant value) {
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

QVariantMap plainMap(const QVariantMap& properties) {
    QVariantMap result;
    for (auto it = properties.begin(); it != properties.end(); ++it)
        result.insert(it.key(), plain(it.value()));
    return result;
}

// A property that must be of one kind: a value of another kind counts as missing.
template <typename T> std::optional<T> valueOf(const QVariantMap& properties, const QString& key) {
    const auto value = properties.value(key);
    if (!value.isValid() || !value.canConvert<T>())
        return std::nullopt;
    if constexpr (std::is_same_v<T, bool>) {
        if (value.metaType() != QMetaType::fromType<bool>())
            return std::nullopt;
    } else if (value.metaType() == QMetaType::fromType<QString>()) {
        return std::nullopt; // a text would convert, but is not a number
    }
    return value.value<T>();
}

// Minutes for a time UPower gives in seconds, 0 while it is still estimating. Under a minute
// left still counts as one, so that it is not taken for "estimating".
std::int64_t minutes(std::optional<qlonglong> seconds) {
    if (!seconds || *seconds <= 0)
        return 0;
    return std::max<std::int64_t>(1, *seconds / 60);
}

} // namespace

UPowerClient::UPowerClient(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    // Watched before the first request, so a daemon that starts in between is not missed.
    auto* watcher =
        new QDBusServiceWatcher(service, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ownerChanged(newOwner);
            });
    for (const auto& path : {daemonPath, displayPath})
        bus_.connect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                     SLOT(onPropertiesChanged(QDBusMessage)));
    requestAll(daemonPath, daemonInterface);
    requestAll(displayPath, deviceInterface);
}

std::optional<PropertyTable> UPowerClient::description() const {
    if (!available() || valueOf<qulonglong>(display_, QStringLiteral("Type")) != batteryKind ||
        valueOf<bool>(display_, QStringLiteral("IsPresent")) != true)
        return std::nullopt;
    namespace key = power_source;
    PropertyTable description;
    description.set(std::string(key::typeKey), std::string(key::internalBattery));
    // The level is kept in hundredths of a percent, as precise as UPower gives it.
    constexpr std::int64_t fullCapacity = 10000;
    if (auto percentage = valueOf<double>(display_, QStringLiteral("Percentage"))) {
        const auto level = std::clamp(std::llround(*percentage * 100), 0LL, 10000LL);
        description.set(std::string(key::currentCapacityKey), static_cast<std::int64_t>(level));
        description.set(std::string(key::maxCapacityKey), fullCapacity);
    }
    description.set(std::string(key::isChargingKey),
                    valueOf<qulonglong>(display_, QStringLiteral("State")) == chargingState);
    description.set(std::string(key::stateKey),
                    std::string(onBattery_ ? key::batteryPower : key::acPower));
    description.set(std::string(key::timeToEmptyKey),
                    minutes(valueOf<qlonglong>(display_, QStringLiteral("TimeToEmpty"))));
    description.set(std::string(key::timeToFullKey),
                    minutes(valueOf<qlonglong>(display_, QStringLiteral("TimeToFull"))));
    return description;
}

template <typename Update> void UPowerClient::updateCache(Update update) {
    const bool wasAvailable = available();
    const auto before = description();
    update();
    if (available() != wasAvailable || description() != before)
        emit changed();
}

void UPowerClient::ownerChanged(const QString& newOwner) {
    ++generation_;
    if (newOwner.isEmpty()) {
        updateCache([this] {
            daemonLoaded_ = displayLoaded_ = onBattery_ = false;
            display_.clear();
        });
        return;
    }
    // A new daemon: what the cache holds stays until its answers replace it.
    requestAll(daemonPath, daemonInterface);
    requestAll(displayPath, deviceInterface);
}

void UPowerClient::requestAll(const QString& path, const QString& interface) {
    auto message = QDBusMessage::createMethodCall(service, path, propertiesInterface,
                                                  QStringLiteral("GetAll"));
    message << interface;
    // Where the daemon is not running the sysfs readings serve; we do not start it.
    message.setAutoStartService(false);
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, path, generation = generation_](QDBusPendingCallWatcher* finished) {
                receiveAll(finished, path, generation);
            });
}

void UPowerClient::receiveAll(QDBusPendingCallWatcher* call, const QString& path,
                              std::uint64_t generation) {
    call->deleteLater();
    if (generation != generation_)
        return;
    const QDBusPendingReply<QVariantMap> reply = *call;
    const bool loaded = !reply.isError();
    const auto properties = loaded ? plainMap(reply.value()) : QVariantMap();
    updateCache([&] {
        if (path == daemonPath) {
            daemonLoaded_ = loaded;
            onBattery_ = valueOf<bool>(properties, QStringLiteral("OnBattery")).value_or(false);
        } else {
            displayLoaded_ = loaded;
            display_ = properties;
        }
    });
}

void UPowerClient::onPropertiesChanged(const QDBusMessage& message) {
    const auto arguments = message.arguments();
    if (arguments.size() < 3)
        return;
    const bool daemon = message.path() == daemonPath;
    if (arguments[0].toString() != (daemon ? daemonInterface : deviceInterface))
        return;
    const auto changedProperties = plainMap(qdbus_cast<QVariantMap>(arguments[1]));
    updateCache([&] {
        if (daemon) {
            if (auto onBattery = valueOf<bool>(changedProperties, QStringLiteral("OnBattery")))
                onBattery_ = *onBattery;
        } else {
            for (auto it = changedProperties.begin(); it != changedProperties.end(); ++it)
                display_.insert(it.key(), it.value());
        }
    });
    // A property announced without its value is read again with the others.
    if (!qdbus_cast<QStringList>(arguments[2]).isEmpty())
        requestAll(message.path(), daemon ? daemonInterface : deviceInterface);
}

} // namespace orb::platform
