#pragma once

#include <QString>
#include <optional>

namespace orb::platform {

// The user's persistent key-value settings. Values are always strings.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The string stored under `key`; empty when the key is absent, holds no string, or the store
    // could not be read.
    virtual std::optional<QString> stringForKey(const QString& key) = 0;
    // Stores `value` under `key` and writes it out at once. A store that cannot be written keeps
    // the value for the rest of the session and reports the problem itself; callers never fail.
    virtual void setString(const QString& key, const QString& value) = 0;
};

} // namespace orb::platform
