#pragma once

#include <QString>
#include <QUrl>
#include <QVariantMap>

class QQmlEngine;
class QQuickView;

namespace orb {

// The address of one of the program's QML pages, compiled into the views library.
QUrl viewUrl(const QString& fileName);

// A window showing `page` with its required properties set. The engine is shared by every window
// so the QML types are loaded once.
QQuickView* createView(QQmlEngine& engine, const QString& page, const QVariantMap& properties);

} // namespace orb
