#pragma once

#include <QJsonObject>
#include <QString>

class QObject;

namespace orb::probe {

// Every published field of `monitor`, in declaration order, as a JSON object keyed by field name.
QJsonObject fieldsAsJson(const QObject& monitor);

// The same fields as aligned "name  value" lines for a terminal.
QString fieldsAsText(const QObject& monitor);

} // namespace orb::probe
