#pragma once

#include "model/Readout.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace orb {

// The texts the pages show, formatted in C++ so that they match the menu-bar label to the
// digit. QML reaches them through the `Format` singleton.
class ViewFormat : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Format)
    QML_SINGLETON
    // What a view shows for a reading the machine does not measure (the monitor's `measured`).
    Q_PROPERTY(QString missing READ missing CONSTANT)

public:
    explicit ViewFormat(QObject* parent = nullptr) : QObject(parent) {}

    QString missing() const { return placeholder(); }

    Q_INVOKABLE QString percent(double fraction) const { return wholePercent(fraction); }
    Q_INVOKABLE QString bytes(double count) const;
    // printf's "%.Nf" of `value` followed by `suffix`.
    Q_INVOKABLE QString fixed(double value, int decimals, const QString& suffix = {}) const;
    // The first `limit` entries of a process list as {name, value} with the processor share as
    // "%.1f%%".
    Q_INVOKABLE QVariantList cpuProcessRows(const QVariant& processes, int limit) const;
    // Every entry of a process list as {name, value} for the detail pages. `field` picks the
    // figure: "cpu" and "energy" as "%.1f%%", "memory" (megabytes) as "%.2f GB" above 1024 MB,
    // else "%.1f MB". With `withCount`, a group of two or more reads "Safari (3)".
    Q_INVOKABLE QVariantList processRows(const QVariant& processes, const QString& field,
                                         bool withCount) const;
    // One {label, temp} per sensor, ordered by label, the temperature as "%.0f°".
    Q_INVOKABLE QVariantList sensorRows(const QVariantMap& sensors) const;
    // The same for the detail page, the temperature as "%.1f°C".
    Q_INVOKABLE QVariantList detailSensorRows(const QVariantMap& sensors) const;
    // `fixed(value, decimals, suffix)` for a reading above 0; `fallback` for none (0 or less).
    Q_INVOKABLE QString fixedOr(double value, int decimals, const QString& suffix,
                                const QString& fallback) const;
    // An adapter's contract as "65W @ 20V / 3250 mA".
    Q_INVOKABLE QString adapterContract(int watts, double volts, int milliamps) const;
    // A battery current's size as "1234 mA", whichever way it flows.
    Q_INVOKABLE QString milliamps(double current) const;
};

} // namespace orb
