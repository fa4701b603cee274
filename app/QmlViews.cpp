#include "app/QmlViews.h"

#include "views/Theme.h"

#include <QQmlEngine>
#include <QQuickView>
#include <QtQml/qqmlextensionplugin.h>

// The QML pages live in a static library; its plugin registers them.
Q_IMPORT_QML_PLUGIN(Orbimeter_ViewsPlugin)

namespace orb {

QUrl viewUrl(const QString& fileName) {
    return QUrl(QStringLiteral("qrc:/Orbimeter/Views/qml/") + fileName);
}

QQuickView* createView(QQmlEngine& engine, const QString& page, const QVariantMap& properties) {
    auto* view = new QQuickView(&engine, nullptr);
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->setColor(windowBackground());
    view->setInitialProperties(properties);
    view->setSource(viewUrl(page));
    if (view->status() == QQuickView::Error) {
        for (const auto& error : view->errors())
            qWarning("%s", qPrintable(error.toString()));
    }
    return view;
}

} // namespace orb
