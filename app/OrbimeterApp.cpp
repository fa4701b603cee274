#include "app/OrbimeterApp.h"

#include "app/Shell.h"
#include "app/TrayController.h"
#include "model/Preferences.h"
#include "monitor/SystemMonitor.h"
#include "platform/LoginItem.h"
#include "platform/Platform.h"
#include "platform/QtSettingsStore.h"

namespace orb {

OrbimeterApp::OrbimeterApp(const AppOptions& options)
    : platform_(platform::makeSystemPlatform(options.root)),
      store_(std::make_unique<platform::QtSettingsStore>()),
      loginItem_(platform::makeLoginItemService()),
      monitor_(std::make_unique<SystemMonitor>(*platform_)),
      prefs_(std::make_unique<Preferences>(*store_, *loginItem_)),
      shell_(std::make_unique<Shell>(*monitor_, *prefs_)),
      tray_(std::make_unique<TrayController>(*monitor_, *prefs_)) {
    applyEngineOptions(options, *monitor_);
    connect(tray_.get(), &TrayController::activated, shell_.get(), &Shell::togglePopover);
    connect(tray_.get(), &TrayController::settingsRequested, shell_.get(), &Shell::openSettings);
    connect(tray_.get(), &TrayController::quitRequested, shell_.get(), &Shell::quitApplication);
}

// Windows and the tray item go before the objects they show.
OrbimeterApp::~OrbimeterApp() {
    tray_.reset();
    shell_.reset();
}

} // namespace orb
