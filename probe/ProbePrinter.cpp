#include "probe/ProbePrinter.h"

#include "monitor/SystemMonitor.h"

#include <QJsonArray>
#include <QMetaProperty>
#include <QStringList>
#include <cmath>

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

QString toText(const QJsonValue& value) {
    if (value.isString())
        return value.toString();
    if (value.isNull())
        return QStringLiteral("—");
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 12);
    if (value.isArray() && !value.toArray().isEmpty() && value.toArray().first().isObject()) {
        // Process lists: the top entries are the interesting ones.
        const auto array = value.toArray();
        QStringList items;
        for (qsizetype i = 0; i < std::min<qsizetype>(5, array.size()); ++i) {
            const auto process = array[i].toObject();
            const int count = process.value("count").toInt();
            items << QStringLiteral("%1%2 %3% %4 MB")
                         .arg(process.value("name").toString(),
                              count > 1 ? QStringLiteral(" ×%1").arg(count) : QString())
                         .arg(process.value("cpu").toDouble(), 0, 'f', 1)
                         .arg(process.value("memory").toDouble(), 0, 'f', 1);
        }
        return QStringLiteral("(%1) [%2%3]")
            .arg(array.size())
            .arg(items.join(", "), array.size() > items.size() ? QStringLiteral(", …") : QString());
    }
    if (value.isArray()) {
        const auto array = value.toArray();
        QStringList items;
        // Long histories: the newest samples are the interesting ones.
        const int shown = 6;
        for (qsizetype i = std::max<qsizetype>(0, array.size() - shown); i < array.size(); ++i)
            items << toText(array[i]);
        QString prefix =
            array.size() > shown ? QStringLiteral("(%1) … ").arg(array.size()) : QString();
        return prefix + "[" + items.join(", ") + "]";
    }
    if (value.isObject()) {
        const auto object = value.toObject();
        QStringList items;
        for (auto it = object.begin(); it != object.end(); ++it)
            items << it.key() + ": " + toText(it.value());
        return "{" + items.join(", ") + "}";
    }
    return {};
}

} // namespace

QJsonObject fieldsAsJson(const QObject& monitor) {
    QJsonObject object;
    const QMetaObject* meta = monitor.metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        object.insert(QString::fromLatin1(property.name()), toJson(property.read(&monitor)));
    }
    return object;
}

QString fieldsAsText(const QObject& monitor) {
    const QMetaObject* meta = monitor.metaObject();
    int width = 0;
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        width = std::max<int>(width, static_cast<int>(qstrlen(meta->property(i).name())));
    QString text;
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        text += QString::fromLatin1(property.name()).leftJustified(width + 2);
        text += toText(toJson(property.read(&monitor)));
        text += '\n';
    }
    return text;
}

} // namespace orb::probe
