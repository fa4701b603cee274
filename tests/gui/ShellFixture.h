#pragma once

#include "fakes/FakeLoginItem.h"
#include "fakes/FakePlatform.h"
#include "fakes/FakeSettingsStore.h"
#include "fakes/Measured.h"
#include "model/Preferences.h"
#include "monitor/SystemMonitor.h"
#include "views/Theme.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QQuickItem>
#include <QQuickView>
#include <QThread>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace orb::testing {

using Texts = std::vector<std::string>;

// A monitor on fakes and preferences on a fake store, as the program would own them. The
// monitor measures every reading, so that the readings a test sets are shown as they are.
struct ShellFixture : ::testing::Test {
    ShellFixture() { measureEverything(monitor); }

    FakePlatform fake;
    FakeSettingsStore store;
    FakeLoginItem loginItem;
    SystemMonitor monitor{fake.platform()};
    Preferences prefs{store, loginItem};

    // Windows closed during the test are deleted later; none may linger into the next test.
    ~ShellFixture() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs the event loop until `done` or `ms` have passed, leaving the processor to others
    // between.
    template <typename Done> static bool waitFor(Done done, int ms = 5000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
        return done();
    }

    template <typename Action> static std::string printedBy(Action action) {
        ::testing::internal::CaptureStdout();
        action();
        return ::testing::internal::GetCapturedStdout();
    }

    static QQuickItem* item(QQuickView* view, const char* name) {
        return view && view->rootObject() ? view->rootObject()->findChild<QQuickItem*>(name)
                                          : nullptr;
    }

    // The window a test reads, its items by name, and their texts and colours as standard strings
    // so that a failure prints them readably. A missing item fails the test.
    QQuickView* page = nullptr;
    QQuickItem* find(const char* name) const {
        if (QQuickItem* found = item(page, name))
            return found;
        throw std::runtime_error(std::string("no item named ") + name);
    }
    std::string text(const char* name, const char* property = "text") const {
        return find(name)->property(property).toString().toStdString();
    }
    bool shown(const char* name) const { return find(name)->isVisible(); }
    // A list's rows as "name value", from its `property` of maps.
    std::vector<std::string> rows(const char* list, const char* property = "rows",
                                  const char* nameKey = "name",
                                  const char* valueKey = "value") const {
        std::vector<std::string> texts;
        for (const QVariant& row : find(list)->property(property).toList()) {
            const QVariantMap fields = row.toMap();
            texts.push_back(
                (fields[nameKey].toString() + " " + fields[valueKey].toString()).toStdString());
        }
        return texts;
    }
    // An item's colour by its name in the theme, else as a hexadecimal number.
    std::string colour(const char* name) const {
        const QColor color = find(name)->property("color").value<QColor>();
        const Theme theme;
        for (const auto& [named, word] : {std::pair(theme.green(), "green"),
                                          {theme.yellow(), "yellow"},
                                          {theme.orange(), "orange"},
                                          {theme.red(), "red"},
                                          {theme.blue(), "blue"},
                                          {theme.secondaryText(), "grey"}}) {
            if (color == named)
                return word;
        }
        return color.name(QColor::HexArgb).toStdString();
    }
};

// A process group as the walk publishes it.
inline AppProcess process(const char* name, int count, double memory, double energy,
                          double cpu = 0) {
    return {.id = QUuid::createUuid(),
            .name = name,
            .count = count,
            .cpu = cpu,
            .memory = memory,
            .energy = energy};
}

} // namespace orb::testing
