// The tray item against a bus daemon and a panel watcher of its own.
#include "ShellFixture.h"
#include "app/StatusNotifierItem.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <functional>
#include <memory>

// Outside the anonymous namespace so that the meta-object code can name it.
namespace status_notifier_test {

// The panel's watcher: the items it is asked to register, and the new icons it hears of.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
public:
    QStringList registered;
    int newIcons = 0;
public slots:
    void RegisterStatusNotifierItem(const QString& item) { registered << item; }
    void NewIcon() { ++newIcons; }
};

} // namespace status_notifier_test

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
constexpr auto waitUntil = orb::testing::ShellFixture::waitFor<std::function<bool()>>;

QImage filledImage(int width, int height, QRgb color) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

// A session bus of their own, so the tests neither see nor disturb the desktop's panel. The
// watcher's connection also reads the item, as a panel does.
class StatusNotifierItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus_.start("dbus-daemon", {"--session", "--print-address", "--nofork"});
        ASSERT_TRUE(bus_.waitForStarted(5000) && bus_.waitForReadyRead(5000))
            << "dbus-daemon (package dbus): " << bus_.errorString().toStdString();
        const QString address = QString::fromUtf8(bus_.readLine()).trimmed();
        itemBus_ = QDBusConnection::connectToBus(address, address + " item");
        panel_ = QDBusConnection::connectToBus(address, address + " panel");
        ASSERT_TRUE(itemBus_.isConnected() && panel_.isConnected());
    }
    void TearDown() override {
        item_.reset();
        QDBusConnection::disconnectFromBus(itemBus_.name());
        QDBusConnection::disconnectFromBus(panel_.name());
        bus_.terminate();
        bus_.waitForFinished(3000);
    }

    // The watcher takes its name, and answers registrations once `answering`.
    void startWatcher(bool answering = true) {
        watcher_.registered.clear();
        ASSERT_TRUE(panel_.registerService(watcherService));
        if (answering)
            answer();
    }
    void answer() {
        ASSERT_TRUE(panel_.registerObject(watcherPath, &watcher_, QDBusConnection::ExportAllSlots));
    }
    void stopWatcher() { // gone at once, like a panel that crashes
        panel_.unregisterObject(watcherPath);
        panel_.unregisterService(watcherService);
    }
    orb::StatusNotifierItem& makeItem() {
        item_ =
            std::make_unique<orb::StatusNotifierItem>("orbimeter", "Orbimeter", itemPath, itemBus_);
        QObject::connect(item_.get(), &orb::StatusNotifierItem::registrationChanged,
                         [this](bool accepted) { answers_ << accepted; });
        return *item_;
    }
    // The item runs in this thread, so the call keeps the event loop going.
    QDBusMessage callItem(const QString& interface, const QString& method,
                          const QVariantList& args) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(itemBus_.baseService(), itemPath, interface, method);
        call.setArguments(args);
        return panel_.call(call, QDBus::BlockWithGui, 5000);
    }
    QVariant itemProperty(const QString& name) {
        const QDBusMessage reply =
            callItem("org.freedesktop.DBus.Properties", "Get", {itemInterface, name});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << name.toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QProcess bus_;
    status_notifier_test::Watcher watcher_;
    QDBusConnection itemBus_{QString()}, panel_{QString()};
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
    ASSERT_TRUE(waitUntil([&] { return answers_ == QList<bool>{true}; }, 5000));
    EXPECT_EQ(watcher_.registered, QStringList{itemPath});

    ASSERT_TRUE(panel_.connect(itemBus_.baseService(), itemPath, itemInterface, "NewIcon",
                               &watcher_, SLOT(NewIcon())));
    QImage icon = filledImage(22, 22, qRgba(0x11, 0x22, 0x33, 0x80));
    icon.setPixel(1, 0, qRgba(0xaa, 0xbb, 0xcc, 0xff));
    item.setIcon(icon);
    item.setToolTip("Orbimeter", "CPU 42%");
    item.setActive(false);
    const auto pixmaps = qdbus_cast<orb::SniPixmapList>(itemProperty("IconPixmap"));
    ASSERT_EQ(pixmaps.size(), 1);
    // Alpha first, then red, green and blue, whatever the byte order of this machine.
    EXPECT_EQ(pixmaps[0].argbBigEndian.left(8), QByteArray("\x80\x11\x22\x33\xff\xaa\xbb\xcc", 8));
    EXPECT_EQ(qdbus_cast<orb::SniToolTip>(itemProperty("ToolTip")),
              (orb::SniToolTip{{}, {}, "Orbimeter", "CPU 42%"}));
    EXPECT_EQ(itemProperty("Status").toString(), "Passive");

    // The same pixels in another image announce nothing; one changed pixel does.
    item.setIcon(icon.copy());
    icon.setPixel(21, 21, qRgba(0, 254, 0, 255));
    item.setIcon(icon);
    ASSERT_TRUE(waitUntil([&] { return watcher_.newIcons >= 2; }, 5000));
    waitUntil([] { return false; }, 200); // time for a stray third signal
    EXPECT_EQ(watcher_.newIcons, 2);

    QList<QPoint> activated;
    QObject::connect(&item, &orb::StatusNotifierItem::activated,
                     [&](QPoint at) { activated << at; });
    EXPECT_EQ(callItem(itemInterface, "Activate", {10, 20}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(activated, QList<QPoint>{QPoint(10, 20)});
    item_.reset();
    EXPECT_EQ(callItem(itemInterface, "Activate", {1, 2}).type(), QDBusMessage::ErrorMessage);
}

TEST_F(StatusNotifierItemTest, FollowsTheWatcherAsItComesAndGoesAndOffersItsItemsInOrder) {
    // Hosts place items in the order they took them in: the later item waits for the earlier
    // one's registration even when started first, and again after the panel restarts.
    const QString numberPath = itemPath + "/Number";
    orb::StatusNotifierItem number("orbimeter-number", "Orbimeter number", numberPath, itemBus_);
    orb::StatusNotifierItem& rings = makeItem();
    number.registerAfter(&rings);
    number.start();
    startWatcher();
    waitUntil([] { return false; }, 400);
    EXPECT_TRUE(watcher_.registered.isEmpty()) << "registered before the earlier item";

    stopWatcher();
    rings.start();
    ASSERT_TRUE(waitUntil([&] { return answers_ == QList<bool>{false}; }, 5000)) << "no watcher";
    // A starting watcher may own its name a while before it takes calls: the items try again.
    startWatcher(/*answering=*/false);
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(answers_, QList<bool>{false});
    answer();
    const QStringList inOrder{itemPath, numberPath};
    ASSERT_TRUE(waitUntil([&] { return watcher_.registered.size() == 2; }, 10000));
    EXPECT_EQ(watcher_.registered, inOrder);

    // Its going is announced; on its return the items register again, in order.
    stopWatcher();
    ASSERT_TRUE(waitUntil(
        [&] {
            return answers_ == (QList<bool>{false, true, false}) && !number.isRegistered();
        },
        5000));
    startWatcher();
    ASSERT_TRUE(waitUntil([&] { return watcher_.registered.size() == 2; }, 10000));
    EXPECT_EQ(watcher_.registered, inOrder);
}

TEST(StatusNotifierItemIcon, SendsTheLowDpiSizeAlongsideAndCapsHugeImages) {
    QImage hiDpi = filledImage(44, 44, qRgba(255, 0, 0, 255));
    hiDpi.setDevicePixelRatio(2.0);
    const auto both = orb::pixmapsForIcon(hiDpi);
    ASSERT_EQ(both.size(), 2);
    EXPECT_EQ(both[0].width * both[0].height * 4, both[0].argbBigEndian.size());
    EXPECT_EQ(std::pair(both[0].width, both[1].width), std::pair(22, 44));
    const auto wide = orb::pixmapsForIcon(filledImage(1000, 250, qRgba(0, 0, 255, 255)));
    ASSERT_EQ(wide.size(), 1);
    EXPECT_EQ(std::pair(wide[0].width, wide[0].height),
              std::pair(orb::largestPixmapSide, orb::largestPixmapSide / 4));
}

} // namespace

#include "test_status_notifier_item.moc"
