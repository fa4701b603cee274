#pragma once

#include "platform/LoginItem.h"

namespace orb::platform {

// Start at login through a desktop entry in the user's autostart directory, which the desktop
// session reads at login.
//
// The entry counts as enabled while it exists and is not switched off (Hidden=true, or
// X-GNOME-Autostart-enabled=false, as session settings tools write it); as not found when the
// program it names is gone (for instance after the program was moved).
class XdgAutostart final : public LoginItemService {
public:
    XdgAutostart(const QString& autostartDirectory, const QString& executablePath);

    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
    static QString defaultDirectory();
    // The program to start: the AppImage file when running from one, otherwise this executable.
    static QString defaultExecutable();

    LoginItemStatus status() override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

    QString entryPath() const;

private:
    QString directory_;
    QString executable_;
};

// The value of an Exec key that starts `program` with no arguments: quoted when the path holds
// spaces or reserved characters, with percent signs doubled, then escaped as a desktop-entry
// string (so each backslash of the quoting is written twice).
QString desktopExecValue(const QString& program);

} // namespace orb::platform
