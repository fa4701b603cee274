#pragma once

#include "platform/SettingsStore.h"

#include <QList>
#include <QMap>
#include <utility>

namespace orb::testing {

// An in-memory store that records every write in order.
struct FakeSettingsStore final : platform::SettingsStore {
    QMap<QString, QString> values;
    QList<std::pair<QString, QString>> writes;
    std::optional<QString> stringForKey(const QString& key) override {
        return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
    }
    void setString(const QString& key, const QString& value) override {
        values.insert(key, value);
        writes.append({key, value});
    }
};

} // namespace orb::testing
