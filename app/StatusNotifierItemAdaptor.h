#pragma once

#include "StatusNotifierItem.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>

namespace orb {

// The bus face of StatusNotifierItem. QtDBus builds the introspection data and serves the
// properties from this class's meta-object, so member, property and signal names here are
// the wire names, capitals included, and the property types decide the wire signatures.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ emptyName)
    Q_PROPERTY(orb::SniPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(orb::SniPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(orb::SniPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(QString IconThemePath READ emptyName)
    Q_PROPERTY(QString IconAccessibleDesc READ accessibleDescription)
    Q_PROPERTY(QString AttentionAccessibleDesc READ accessibleDescription)
    Q_PROPERTY(orb::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem* item);

    QString category() const;
    QString id() const;
    QString title() const;
    QString status() const;
    int windowId() const;
    QString emptyName() const;
    SniPixmapList iconPixmap() const;
    SniPixmapList noPixmaps() const;
    SniToolTip toolTip() const;
    QString accessibleDescription() const;
    bool itemIsMenu() const;
    QDBusObjectPath menu() const;

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

protected:
    StatusNotifierItem* item_;
};

// The same with the text label that some hosts draw after the icon (GNOME's extension, the
// Ayatana hosts). An item for any other host goes without: a host that knows the label but
// would rather not draw it (MATE) shows an empty one in place of the icon.
class LabelledStatusNotifierItemAdaptor : public StatusNotifierItemAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)
    Q_PROPERTY(uint XAyatanaOrderingIndex READ orderingIndex)

public:
    using StatusNotifierItemAdaptor::StatusNotifierItemAdaptor;

    QString label() const;
    QString labelGuide() const;
    uint orderingIndex() const;

signals:
    void XAyatanaNewLabel(const QString& label, const QString& guide);
};

} // namespace orb
