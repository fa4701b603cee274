#pragma once

#include "model/MetricCatalogue.h"
#include "platform/LoginItem.h"
#include "platform/SettingsStore.h"

#include <QObject>
#include <QStringList>

namespace orb {

// The user's choices for the tray icon, and whether the program starts at login.
//
// The five icon choices live in the settings store: each is read once at creation and written
// on every set, even when it did not change. Start at login is not stored: it starts out as
// the login-item status and, when set, registers or unregisters the program. Main thread only.
class Preferences : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    // The metrics as their raw values; a name that matches no metric is ignored.
    Q_PROPERTY(QString outerRingMetric READ outerRingMetricName WRITE setOuterRingMetricName NOTIFY
                   outerRingMetricChanged)
    Q_PROPERTY(QString innerRingMetric READ innerRingMetricName WRITE setInnerRingMetricName NOTIFY
                   innerRingMetricChanged)
    Q_PROPERTY(QString numberMetric READ numberMetricName WRITE setNumberMetricName NOTIFY
                   numberMetricChanged)
    Q_PROPERTY(QString outerRingColor READ outerRingColor WRITE setOuterRingColor NOTIFY
                   outerRingColorChanged)
    Q_PROPERTY(QString innerRingColor READ innerRingColor WRITE setInnerRingColor NOTIFY
                   innerRingColorChanged)
    // What the settings pickers offer, in their order.
    Q_PROPERTY(QStringList colors READ colorNames CONSTANT)
    Q_PROPERTY(QStringList ringMetricNames READ ringMetricNames CONSTANT)
    Q_PROPERTY(QStringList numberMetricNames READ numberMetricNames CONSTANT)

public:
    Preferences(platform::SettingsStore& store, platform::LoginItemService& loginItem,
                QObject* parent = nullptr);

    bool launchAtLogin() const { return launchAtLogin_; }
    void setLaunchAtLogin(bool launch);

    RingMetric outerRingMetric() const { return outerRingMetric_; }
    void setOuterRingMetric(RingMetric metric);
    RingMetric innerRingMetric() const { return innerRingMetric_; }
    void setInnerRingMetric(RingMetric metric);
    NumberMetric numberMetric() const { return numberMetric_; }
    void setNumberMetric(NumberMetric metric);

    // Colour names are kept as given, even ones the icon does not know; the icon resolves them.
    QString outerRingColor() const { return outerRingColor_; }
    void setOuterRingColor(const QString& color);
    QString innerRingColor() const { return innerRingColor_; }
    void setInnerRingColor(const QString& color);

    QString outerRingMetricName() const { return rawValue(outerRingMetric_); }
    void setOuterRingMetricName(const QString& name);
    QString innerRingMetricName() const { return rawValue(innerRingMetric_); }
    void setInnerRingMetricName(const QString& name);
    QString numberMetricName() const { return rawValue(numberMetric_); }
    void setNumberMetricName(const QString& name);

    static QStringList colorNames();
    static QStringList ringMetricNames();
    static QStringList numberMetricNames();

signals:
    void launchAtLoginChanged();
    void outerRingMetricChanged();
    void innerRingMetricChanged();
    void numberMetricChanged();
    void outerRingColorChanged();
    void innerRingColorChanged();

private:
    void updateLaunchAtLogin();

    platform::SettingsStore& store_;
    platform::LoginItemService& loginItem_;

    bool launchAtLogin_;
    RingMetric outerRingMetric_;
    RingMetric innerRingMetric_;
    NumberMetric numberMetric_;
    QString outerRingColor_;
    QString innerRingColor_;
};

} // namespace orb
