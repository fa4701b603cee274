// The user's settings: stored values of any kind, through the store interface and through the
// settings file, as the preferences read them at start. An input whose first byte is even holds
// the five stored values a line each (an empty line: the key is absent); an odd one holds the
// settings file after that byte.
#include "FuzzTree.h"
#include "model/Preferences.h"
#include "platform/LoginItem.h"
#include "platform/QtSettingsStore.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QMap>
#include <cstdlib>

using namespace orb;

namespace {

class StoredValues final : public platform::SettingsStore {
public:
    QMap<QString, QString> values;
    std::optional<QString> stringForKey(const QString& key) override {
        return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
    }
    void setString(const QString& key, const QString& value) override { values.insert(key, value); }
};

class NoLoginItem final : public platform::LoginItemService {
public:
    platform::LoginItemStatus status() override { return platform::LoginItemStatus::notRegistered; }
    std::optional<QString> registerItem() override { return std::nullopt; }
    std::optional<QString> unregisterItem() override { return std::nullopt; }
};

// Whatever was stored, the metrics are among those offered, and a name that is no metric
// changes nothing.
void check(Preferences& preferences, const QString& garbage) {
    if (!Preferences::ringMetricNames().contains(preferences.outerRingMetricName()) ||
        !Preferences::ringMetricNames().contains(preferences.innerRingMetricName()) ||
        !Preferences::numberMetricNames().contains(preferences.numberMetricName()))
        std::abort();
    const auto before = preferences.numberMetricName();
    preferences.setNumberMetricName(garbage);
    if (preferences.numberMetricName() != before &&
        !Preferences::numberMetricNames().contains(garbage))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_settings";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static orb::fuzz::FuzzTree tree;
    static unsigned input = 0;
    if (size == 0)
        return 0;
    auto text = orb::fuzz::asText(data + 1, size - 1);
    NoLoginItem loginItem;

    if (data[0] % 2 == 0) {
        StoredValues store;
        QString last;
        for (const char* key : {"outerRingMetric", "innerRingMetric", "numberMetric",
                                "outerRingColor", "innerRingColor"}) {
            const auto line = orb::fuzz::takeUntil(text, "\n");
            last = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
            if (!line.empty())
                store.values.insert(key, last);
        }
        Preferences preferences(store, loginItem);
        check(preferences, last);
        return 0;
    }

    // A configuration folder of its own per input: the settings library keeps what it parsed of
    // a file for as long as the file looks unchanged.
    tree.clear();
    const auto config = tree.root() + "/config" + std::to_string(++input);
    tree.writeFile("config" + std::to_string(input) + "/orbimeter/orbimeter.conf", text, false);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    platform::QtSettingsStore store;
    Preferences preferences(store, loginItem);
    check(preferences, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    return 0;
}
