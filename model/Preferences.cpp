#include "model/Preferences.h"

#include <cstdio>

namespace orb {

namespace {

const QString outerRingMetricKey = QStringLiteral("outerRingMetric");
const QString innerRingMetricKey = QStringLiteral("innerRingMetric");
const QString numberMetricKey = QStringLiteral("numberMetric");
const QString outerRingColorKey = QStringLiteral("outerRingColor");
const QString innerRingColorKey = QStringLiteral("innerRingColor");

// A stored name that is absent or names no metric (renamed, hand-edited) gives the default.
RingMetric storedRingMetric(platform::SettingsStore& store, const QString& key,
                            RingMetric fallback) {
    return ringMetricFromRawValue(store.stringForKey(key).value_or(rawValue(fallback)))
        .value_or(fallback);
}

NumberMetric storedNumberMetric(platform::SettingsStore& store, const QString& key,
                                NumberMetric fallback) {
    return numberMetricFromRawValue(store.stringForKey(key).value_or(rawValue(fallback)))
        .value_or(fallback);
}

} // namespace

Preferences::Preferences(platform::SettingsStore& store, platform::LoginItemService& loginItem,
                         QObject* parent)
    : QObject(parent), store_(store), loginItem_(loginItem),
      launchAtLogin_(loginItem.status() == platform::LoginItemStatus::enabled),
      outerRingMetric_(storedRingMetric(store, outerRingMetricKey, RingMetric::cpuTotal)),
      innerRingMetric_(storedRingMetric(store, innerRingMetricKey, RingMetric::memoryUsed)),
      numberMetric_(storedNumberMetric(store, numberMetricKey, NumberMetric::downloadSpeed)),
      outerRingColor_(store.stringForKey(outerRingColorKey).value_or(QStringLiteral("pink"))),
      innerRingColor_(store.stringForKey(innerRingColorKey).value_or(QStringLiteral("blue"))) {}

void Preferences::setLaunchAtLogin(bool launch) {
    launchAtLogin_ = launch;
    emit launchAtLoginChanged();
    updateLaunchAtLogin();
}

// A failure is only reported: the switch keeps the user's choice and nothing is retried; the
// next start shows the real state again.
void Preferences::updateLaunchAtLogin() {
    using platform::LoginItemStatus;
    const LoginItemStatus status = loginItem_.status();
    std::optional<QString> error;
    if (launchAtLogin_ && status != LoginItemStatus::enabled)
        error = loginItem_.registerItem();
    else if (!launchAtLogin_ && status != LoginItemStatus::notRegistered)
        error = loginItem_.unregisterItem();
    if (error) {
        std::fprintf(stdout, "Failed to update launch at login status: %s\n",
                     qUtf8Printable(*error));
        std::fflush(stdout);
    }
}

void Preferences::setOuterRingMetric(RingMetric metric) {
    outerRingMetric_ = metric;
    emit outerRingMetricChanged();
    store_.setString(outerRingMetricKey, rawValue(metric));
}

void Preferences::setInnerRingMetric(RingMetric metric) {
    innerRingMetric_ = metric;
    emit innerRingMetricChanged();
    store_.setString(innerRingMetricKey, rawValue(metric));
}

void Preferences::setNumberMetric(NumberMetric metric) {
    numberMetric_ = metric;
    emit numberMetricChanged();
    store_.setString(numberMetricKey, rawValue(metric));
}

void Preferences::setOuterRingColor(const QString& color) {
    outerRingColor_ = color;
    emit outerRingColorChanged();
    store_.setString(outerRingColorKey, color);
}

void Preferences::setInnerRingColor(const QString& color) {
    innerRingColor_ = color;
    emit innerRingColorChanged();
    store_.setString(innerRingColorKey, color);
}

void Preferences::setOuterRingMetricName(const QString& name) {
    if (const auto metric = ringMetricFromRawValue(name))
        setOuterRingMetric(*metric);
}

void Preferences::setInnerRingMetricName(const QString& name) {
    if (const auto metric = ringMetricFromRawValue(name))
        setInnerRingMetric(*metric);
}

void Preferences::setNumberMetricName(const QString& name) {
    if (const auto metric = numberMetricFromRawValue(name))
        setNumberMetric(*metric);
}

QStringList Preferences::colorNames() {
    return {"pink", "red", "blue", "green", "yellow", "orange", "purple", "cyan"};
}

QStringList Preferences::ringMetricNames() {
    QStringList names;
    for (RingMetric metric : allRingMetrics())
        names << rawValue(metric);
    return names;
}

QStringList Preferences::numberMetricNames() {
    QStringList names;
    for (NumberMetric metric : allNumberMetrics())
        names << rawValue(metric);
    return names;
}

} // namespace orb
