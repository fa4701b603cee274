// The tray item against a bus daemon and a panel watcher of its own, seen from a third
// connection the way a panel sees it.
#include "ShellFixture.h"
#include "app/StatusNotifierItem.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <gtest/gtest.h>
#include <memory>

// Outside the anonymous namespace so that the meta-object code can name them.
namespace status_notifier_test {

// Records D-Bus signals as they arrive.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> received;
public slots:
    void record(const QDBusMessage& message) { received << message; }
};

// The panel's watcher, recording the items it is asked to register.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
public:
    QStringList registered;
public slots:
    void RegisterStatusNotifierItem(const QString& item) { registered << item; }
};

} // namespace status_notifier_test

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

template <typename Condition> bool waitUntil(Condition condition, int ms = 5000) {
    return orb::testing::ShellFixture::waitFor(condition, ms);
}

QImage filledImage(int width, int height, QRgb color) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

// A session bus daemon of their own, so the tests neither see nor disturb the desktop's panel,
// with connections for the item, the watcher and the panel's reads.
class StatusNotifierItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus_.start("dbus-daemon", {"--session", "--print-address", "--nofork"});
        ASSERT_TRUE(bus_.waitForStarted(5000) && bus_.waitForReadyRead(5000))
            << "dbus-daemon (package dbus): " << bus_.errorString().toStdString();
        const QString address = QString::fromUtf8(bus_.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty()) << bus_.readAllStandardError().toStdString();
        // Every test has a bus of its own, so its address names the connections.
        itemBus_ = QDBusConnection::connectToBus(address, address + " item");
        watcherBus_ = QDBusConnection::connectToBus(address, address + " watcher");
        probe_ = QDBusConnection::connectToBus(address, address + " probe");
        ASSERT_TRUE(itemBus_.isConnected() && watcherBus_.isConnected() && probe_.isConnected());
    }

    void TearDown() override {
        item_.reset();
        for (const QDBusConnection& connection : {itemBus_, watcherBus_, probe_})
            QDBusConnection::disconnectFromBus(connection.name());
        bus_.terminate();
        bus_.waitForFinished(3000);
    }

    // The watcher takes its name, and answers registrations once `answering`.
    void startWatcher(bool answering = true) {
        watcher_.registered.clear();
        ASSERT_TRUE(watcherBus_.registerService(watcherService));
        if (answering)
            answer();
    }
    void answer() {
        ASSERT_TRUE(
            watcherBus_.registerObject(watcherPath, &watcher_, QDBusConnection::ExportAllSlots));
    }
    // Gone at once, like a panel that crashes.
    void stopWatcher() {
        watcherBus_.unregisterObject(watcherPath);
        watcherBus_.unregisterService(watcherService);
    }

    // The item, and the answers it reports, in order.
    orb::StatusNotifierItem& makeItem() {
        item_ =
            std::make_unique<orb::StatusNotifierItem>("orbimeter", "Orbimeter", itemPath, itemBus_);
        QObject::connect(item_.get(), &orb::StatusNotifierItem::registrationChanged,
                         [this](bool accepted) { answers_ << accepted; });
        return *item_;
    }

    // Calls into an item run in this thread, so the caller must keep the event loop going.
    QDBusMessage callItem(const QString& interface, const QString& method,
                          const QVariantList& arguments, const QString& path = itemPath) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(itemBus_.baseService(), path, interface, method);
        call.setArguments(arguments);
        return probe_.call(call, QDBus::BlockWithGui, 5000);
    }

    QVariant itemProperty(const QString& name, const QString& path = itemPath) {
        const QDBusMessage reply =
            callItem("org.freedesktop.DBus.Properties", "Get", {itemInterface, name}, path);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << name.toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QProcess bus_;
    status_notifier_test::Watcher watcher_;
    QDBusConnection itemBus_{QString()}, watcherBus_{QString()}, probe_{QString()};
    std::unique_ptr<orb::StatusNotifierItem> item_;
    QList<bool> answers_;
};

TEST_F(StatusNotifierItemTest, RegistersByPathWithoutWaitingServesItsLookAndClicksAndWithdraws) {
    startWatcher();
    orb::StatusNotifierItem& item = makeItem();
    item.start();
    // start() returns before the watcher has answered: the answer comes through the event loop.
    EXPECT_TRUE(answers_.isEmpty());
    EXPECT_FALSE(item.isRegistered());
    ASSERT_TRUE(waitUntil([&] { return answers_ == QList<bool>{true}; }));
    EXPECT_EQ(watcher_.registered, QStringList{itemPath});

    // A second item shares the connection at a path of its own.
    orb::StatusNotifierItem second("orbimeter-number", "Orbimeter", itemPath + "/Number", itemBus_);
    second.start();
    ASSERT_TRUE(waitUntil([&] { return second.isRegistered(); }));
    EXPECT_EQ(watcher_.registered, (QStringList{itemPath, itemPath + "/Number"}));
    EXPECT_EQ(itemProperty("Id", itemPath + "/Number").toString(), "orbimeter-number");
    EXPECT_EQ(itemProperty("Id").toString(), "orbimeter");

    // The panel reads back what the item shows, and hears of new pixels only.
    status_notifier_test::SignalLog newIcons;
    ASSERT_TRUE(probe_.connect(itemBus_.baseService(), itemPath, itemInterface, "NewIcon",
                               &newIcons, SLOT(record(QDBusMessage))));
    QImage icon = filledImage(22, 22, qRgba(0x11, 0x22, 0x33, 0x80));
    icon.setPixel(1, 0, qRgba(0xaa, 0xbb, 0xcc, 0xff));
    item.setIcon(icon);
    item.setLabel("42%", "100%");
    item.setToolTip("Orbimeter", "CPU 42%");
    item.setActive(false);

    const auto pixmaps = qdbus_cast<orb::SniPixmapList>(itemProperty("IconPixmap"));
    ASSERT_EQ(pixmaps.size(), 1);
    ASSERT_EQ(QSize(pixmaps[0].width, pixmaps[0].height), QSize(22, 22));
    // Alpha first, then red, green and blue, whatever the byte order of this machine.
    EXPECT_EQ(pixmaps[0].argbBigEndian.left(8), QByteArray("\x80\x11\x22\x33\xff\xaa\xbb\xcc", 8));
    EXPECT_EQ(itemProperty("XAyatanaLabel").toString(), "42%");
    EXPECT_EQ(itemProperty("XAyatanaLabelGuide").toString(), "100%");
    EXPECT_EQ(qdbus_cast<orb::SniToolTip>(itemProperty("ToolTip")),
              (orb::SniToolTip{{}, {}, "Orbimeter", "CPU 42%"}));
    EXPECT_EQ(itemProperty("Status").toString(), "Passive");

    // The same pixels in another image announce nothing; one changed pixel does.
    item.setIcon(icon.copy());
    icon.setPixel(21, 21, qRgba(0, 254, 0, 255));
    item.setIcon(icon);
    ASSERT_TRUE(waitUntil([&] { return newIcons.received.size() >= 2; }));
    waitUntil([] { return false; }, 200); // time for a stray third signal
    EXPECT_EQ(newIcons.received.size(), 2);

    QList<QPoint> activated;
    QObject::connect(&item, &orb::StatusNotifierItem::activated,
                     [&](const QPoint& point) { activated << point; });
    const QDBusMessage reply = callItem(itemInterface, "Activate", {10, 20});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(activated, QList<QPoint>{QPoint(10, 20)});

    item_.reset();
    EXPECT_EQ(callItem(itemInterface, "Activate", {1, 2}).type(), QDBusMessage::ErrorMessage);
}

TEST_F(StatusNotifierItemTest, FollowsTheWatcherAsItComesRefusesAtFirstGoesAndComesBack) {
    makeItem().start();
    ASSERT_TRUE(waitUntil([&] { return answers_ == QList<bool>{false}; })) << "no watcher yet";

    // A watcher owns its name a while before it takes calls, as a real one may while starting
    // up; the item has to try again rather than give up on the first error.
    startWatcher(/*answering=*/false);
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(answers_, QList<bool>{false});
    answer();
    ASSERT_TRUE(waitUntil([&] { return answers_ == (QList<bool>{false, true}); }, 10000));

    stopWatcher(); // the panel crashes
    ASSERT_TRUE(waitUntil([&] { return answers_.size() == 3; }));
    EXPECT_FALSE(answers_.last());
    startWatcher(); // and is started again
    ASSERT_TRUE(waitUntil([&] { return answers_.size() == 4; }, 10000));
    EXPECT_TRUE(answers_.last());
    EXPECT_EQ(watcher_.registered, QStringList{itemPath});
}

TEST(StatusNotifierItemIcon, SendsTheLowDpiSizeAlongsideAndCapsHugeImages) {
    QImage hiDpi = filledImage(44, 44, qRgba(255, 0, 0, 255));
    hiDpi.setDevicePixelRatio(2.0);
    const auto both = orb::pixmapsForIcon(hiDpi);
    ASSERT_EQ(both.size(), 2);
    EXPECT_EQ(both[0].width * both[0].height * 4, both[0].argbBigEndian.size());
    EXPECT_EQ(std::pair(both[0].width, both[1].width), std::pair(22, 44));

    // A wide label image keeps its shape within the size limit.
    const auto wide = orb::pixmapsForIcon(filledImage(1000, 250, qRgba(0, 0, 255, 255)));
    ASSERT_EQ(wide.size(), 1);
    EXPECT_EQ(QSize(wide[0].width, wide[0].height),
              QSize(orb::largestPixmapSide, orb::largestPixmapSide / 4));
}

} // namespace

#include "test_status_notifier_item.moc"
