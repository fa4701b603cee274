#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

class QQmlEngine;
class QQuickView;

namespace orb {

class SystemMonitor;

// The group of detail windows, one per area value. Opening a value whose window is open brings
// that window to the front; the monitor's activeWindow follows the window last shown or closed.
class DetailWindows : public QObject {
    Q_OBJECT
public:
    static constexpr int minimumSide = 600;
    static constexpr int positionDelayMs = 200;

    DetailWindows(QQmlEngine& engine, SystemMonitor& monitor, QObject* parent = nullptr);
    ~DetailWindows() override;

    // Opens (or raises) the window for `area`; an empty area opens the processor page as a
    // window of its own.
    void open(const QString& area);
    // Closes every detail window.
    void closeAll();

    QQuickView* window(const QString& area) const;
    int count() const { return static_cast<int>(windows_.size()); }

private:
    void closed(const QString& area);

    QQmlEngine& engine_;
    SystemMonitor& monitor_;
    QMap<QString, QPointer<QQuickView>> windows_;
};

} // namespace orb
