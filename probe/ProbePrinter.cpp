#include "probe/ProbePrinter.h"

#include "monitor/SystemMonitor.h"

#include <QJsonArray>
#include <QMetaProperty>
#include <cmath>
#include <map>
#include <mutex>
#include <vector>

namespace orb::probe {

namespace {

QJsonValue number(double value) {
    // JSON has no NaN or infinity; a reading that is not finite is shown as absent.
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonValue toJson(const QVariant& value) {
    const int type = value.metaType().id();
    if (type == qMetaTypeId<History>()) {
        QJsonArray array;
        for (double sample : value.value<History>())
            array.append(number(sample));
        return array;
    }
    if (type == qMetaTypeId<SpeedList>()) {
        QJsonArray array;
        for (int speed : value.value<SpeedList>())
            array.append(speed);
        return array;
    }
    if (type == qMetaTypeId<AppProcessList>()) {
        QJsonArray array;
        for (const AppProcess& process : value.value<AppProcessList>()) {
            array.append(QJsonObject{{"id", process.id.toString(QUuid::WithoutBraces)},
                                     {"pid", process.pid},
                                     {"name", process.name},
                                     {"count", process.count},
                                     {"cpu", number(process.cpu)},
                                     {"memory", number(process.memory)},
                                     {"energy", number(process.energy)},
                                     {"cumulativeEnergy", number(process.cumulativeEnergy)}});
        }
        return array;
    }
    switch (type) {
    case QMetaType::Double:
        return number(value.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QJsonValue(value.toLongLong());
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const auto map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            object.insert(it.key(), number(it.value().toDouble()));
        return object;
    }
    default:
        return QJsonValue::fromVariant(value);
    }
}

// Text is written straight from the values: the probe prints every field on every tick, and a
// detour through JSON would cost more than the readings themselves.
void appendNumber(QString& text, double value) {
    if (std::isfinite(value))
        text += QString::number(value, 'g', 12);
    else
        text += QStringLiteral("—");
}

// The newest samples of a long list are the interesting ones.
template <typename List> void appendTail(QString& text, const List& list) {
    constexpr qsizetype shown = 6;
    if (list.size() > shown)
        text += QStringLiteral("(%1) … ").arg(list.size());
    text += '[';
    for (qsizetype i = std::max<qsizetype>(0, list.size() - shown); i < list.size(); ++i) {
        if (i > std::max<qsizetype>(0, list.size() - shown))
            text += QStringLiteral(", ");
        appendNumber(text, static_cast<double>(list[i]));
    }
    text += ']';
}

// Process lists: the top entries are the interesting ones.
void appendProcesses(QString& text, const AppProcessList& processes) {
    if (processes.isEmpty()) {
        text += QStringLiteral("[]");
        return;
    }
    constexpr qsizetype shown = 5;
    auto finite = [](double value) { return std::isfinite(value) ? value : 0.0; };
    text += QStringLiteral("(%1) [").arg(processes.size());
    for (qsizetype i = 0; i < std::min(shown, processes.size()); ++i) {
        const AppProcess& process = processes[i];
        if (i > 0)
            text += QStringLiteral(", ");
        text += process.name;
        if (process.count > 1)
            text += QStringLiteral(" ×%1").arg(process.count);
        text += QStringLiteral(" %1% %2 MB")
                    .arg(finite(process.cpu), 0, 'f', 1)
                    .arg(finite(process.memory), 0, 'f', 1);
    }
    if (processes.size() > shown)
        text += QStringLiteral(", …");
    text += ']';
}

void appendText(QString& text, const QVariant& value) {
    const int type = value.metaType().id();
    if (type == qMetaTypeId<History>())
        return appendTail(text, *static_cast<const History*>(value.constData()));
    if (type == qMetaTypeId<SpeedList>())
        return appendTail(text, *static_cast<const SpeedList*>(value.constData()));
    if (type == qMetaTypeId<AppProcessList>())
        return appendProcesses(text, *static_cast<const AppProcessList*>(value.constData()));
    switch (type) {
    case QMetaType::Double:
        return appendNumber(text, value.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return appendNumber(text, static_cast<double>(value.toLongLong()));
    case QMetaType::Bool:
        text += value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        return;
    case QMetaType::QString:
        text += *static_cast<const QString*>(value.constData());
        return;
    case QMetaType::QVariantMap: {
        const auto& map = *static_cast<const QVariantMap*>(value.constData());
        text += '{';
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (it != map.begin())
                text += QStringLiteral(", ");
            text += it.key();
            text += QStringLiteral(": ");
            appendNumber(text, it.value().toDouble());
        }
        text += '}';
        return;
    }
    default:
        text += value.toString();
    }
}

// The monitor's readings in the order it declares them. The map of what is measured is not
// itself a reading; the detail window the popover last opened is no figure of the machine, and
// always shown. Listed once per class: the probe prints every field on every tick.
struct Reading {
    QMetaProperty property;
    QString name;
    bool alwaysShown = false;
};

const std::vector<Reading>& readingsOf(const QMetaObject* meta) {
    static std::mutex mutex;
    static std::map<const QMetaObject*, std::vector<Reading>> known; // stable while others join
    const std::lock_guard lock(mutex);
    if (const auto it = known.find(meta); it != known.end())
        return it->second;
    std::vector<Reading> readings;
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const auto name = QLatin1StringView(property.name());
        if (name != QLatin1StringView("measured"))
            readings.push_back({property, name, name == QLatin1StringView("activeWindow")});
    }
    return known.emplace(meta, std::move(readings)).first->second;
}

// Calls `each` with every reading of the monitor's and whether the machine measures it.
template <typename Each> void forEachReading(const QObject& monitor, Each each) {
    const QVariantMap measured = monitor.property("measured").toMap();
    for (const Reading& reading : readingsOf(monitor.metaObject()))
        each(reading, reading.alwaysShown || measured.contains(reading.name));
}

} // namespace

QJsonObject fieldsAsJson(const QObject& monitor) {
    QJsonObject object;
    forEachReading(monitor, [&](const Reading& reading, bool measured) {
        object.insert(reading.name, measured ? toJson(reading.property.read(&monitor))
                                             : QJsonValue(QJsonValue::Null));
    });
    return object;
}

QString fieldsAsText(const QObject& monitor) {
    qsizetype width = 0;
    for (const Reading& reading : readingsOf(monitor.metaObject()))
        width = std::max(width, reading.name.size());
    QString text;
    text.reserve(8192);
    forEachReading(monitor, [&](const Reading& reading, bool measured) {
        text += reading.name;
        text.resize(text.size() + width + 2 - reading.name.size(), u' ');
        if (measured)
            appendText(text, reading.property.read(&monitor));
        else
            text += QStringLiteral("—");
        text += '\n';
    });
    return text;
}

} // namespace orb::probe
