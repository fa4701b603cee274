#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QRect>
#include <memory>

class QQuickView;

namespace orb {

class DetailWindows;
class Popover;
class Preferences;
class SystemMonitor;

// The program's windows and the commands the views issue: the popover, the detail window group
// and the settings window. Views reach it as the `shell` object.
class Shell : public QObject {
    Q_OBJECT
public:
    Shell(SystemMonitor& monitor, Preferences& prefs, QObject* parent = nullptr);
    ~Shell() override;

    // Opens the settings window (or raises it) and gives it the focus.
    Q_INVOKABLE void openSettings();
    // Ends the program.
    Q_INVOKABLE void quitApplication();
    // Opens the detail window of `area`, or closes the detail windows when that area's window
    // is the active one.
    Q_INVOKABLE void toggleDetails(const QString& area);
    // Opens the detail window of `area` (empty: the processor page, with no active area).
    Q_INVOKABLE void openDetails(const QString& area);

    void togglePopover(const QRect& anchor);

    Popover& popover() { return *popover_; }
    DetailWindows& detailWindows() { return *details_; }
    QQuickView* settingsWindow() const { return settings_; }

    static constexpr int settingsWidth = 340;
    static constexpr int settingsHeight = 480;

private:
    SystemMonitor& monitor_;
    Preferences& prefs_;
    QQmlEngine engine_;
    std::unique_ptr<Popover> popover_;
    std::unique_ptr<DetailWindows> details_;
    QQuickView* settings_ = nullptr;
};

} // namespace orb
