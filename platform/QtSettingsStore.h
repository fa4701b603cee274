#pragma once

#include "platform/SettingsStore.h"

#include <QSettings>
#include <memory>

namespace orb::platform {

// Settings in an INI file, by default orbimeter/orbimeter.conf in the user's config directory
// ($XDG_CONFIG_HOME or ~/.config).
//
// Problems never stop the program and never cost the session its choices. A damaged file is
// moved aside (kept as "<file>.damaged") so that the defaults apply and new choices can be saved
// again; a file that cannot be read reads as empty; a file that cannot be written keeps the
// choices in memory. Each kind of problem prints one line on standard output, once.
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();
    explicit QtSettingsStore(const QString& filePath);

    std::optional<QString> stringForKey(const QString& key) override;
    void setString(const QString& key, const QString& value) override;

    QString filePath() const { return filePath_; }

private:
    std::unique_ptr<QSettings> open() const;
    void setAsideDamagedFile();

    QString filePath_;
    std::unique_ptr<QSettings> settings_;
    bool readable_ = true;
    bool writeFailureReported_ = false;
};

} // namespace orb::platform
