#include "app/Shell.h"

#include "app/DetailWindows.h"
#include "app/Popover.h"
#include "app/QmlViews.h"
#include "model/Preferences.h"
#include "monitor/SystemMonitor.h"

#include <QCoreApplication>
#include <QQuickView>
#include <QTimer>

namespace orb {

Shell::Shell(SystemMonitor& monitor, Preferences& prefs, QObject* parent)
    : QObject(parent), monitor_(monitor), prefs_(prefs) {
    popover_ = std::make_unique<Popover>(
        engine_, QVariantMap{{QStringLiteral("monitor"), QVariant::fromValue(&monitor_)},
                             {QStringLiteral("shell"), QVariant::fromValue(this)}});
    details_ = std::make_unique<DetailWindows>(engine_, monitor_);
    // Once the program runs, so that the first click opens the popover at once.
    QTimer::singleShot(0, popover_.get(), &Popover::prepare);
}

Shell::~Shell() {
    // Windows first: they hold bindings into the engine.
    popover_.reset();
    details_.reset();
    delete settings_;
}

void Shell::openSettings() {
    if (!settings_) {
        settings_ = createView(engine_, QStringLiteral("SettingsView.qml"),
                               {{QStringLiteral("prefs"), QVariant::fromValue(&prefs_)}});
        settings_->setTitle(QStringLiteral("Preferences"));
        // The form has a fixed size: the window cannot be resized.
        const QSize size(settingsWidth, settingsHeight);
        settings_->setMinimumSize(size);
        settings_->setMaximumSize(size);
        settings_->resize(size);
    }
    popover_->close();
    settings_->show();
    settings_->raise();
    settings_->requestActivate();
}

void Shell::quitApplication() {
    QCoreApplication::quit();
}

void Shell::toggleDetails(const QString& area) {
    if (!monitor_.activeWindow().isEmpty() && monitor_.activeWindow() == area) {
        details_->closeAll();
        monitor_.setActiveWindow(QString());
        return;
    }
    details_->open(area);
    monitor_.setActiveWindow(area);
}

void Shell::openDetails(const QString& area) {
    details_->open(area);
}

void Shell::togglePopover(const QRect& anchor) {
    popover_->toggle(anchor);
}

} // namespace orb
