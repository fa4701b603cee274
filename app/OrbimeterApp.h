#pragma once

#include "monitor/EngineOptions.h"

#include <QObject>
#include <QString>
#include <memory>

namespace orb {

namespace platform {
struct Platform;
class LoginItemService;
class SettingsStore;
} // namespace platform
class Preferences;
class Shell;
class SystemMonitor;
class TrayController;

// How the program was started: the engine's options, and a testing aid of its own.
struct AppOptions : EngineOptions {
    QString detailArea; // a detail window opened at start
};

// The program: one sampling engine and one set of preferences for the life of the process, the
// tray item, and the windows that open from it.
class OrbimeterApp : public QObject {
    Q_OBJECT
public:
    explicit OrbimeterApp(const AppOptions& options = {});
    ~OrbimeterApp() override;

    SystemMonitor& monitor() { return *monitor_; }
    Preferences& prefs() { return *prefs_; }
    Shell& shell() { return *shell_; }
    TrayController& tray() { return *tray_; }

private:
    std::unique_ptr<platform::Platform> platform_;
    std::unique_ptr<platform::SettingsStore> store_;
    std::unique_ptr<platform::LoginItemService> loginItem_;
    std::unique_ptr<SystemMonitor> monitor_;
    std::unique_ptr<Preferences> prefs_;
    std::unique_ptr<Shell> shell_;
    std::unique_ptr<TrayController> tray_;
};

} // namespace orb
