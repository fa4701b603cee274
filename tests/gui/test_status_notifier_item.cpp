// The tray item against a bus daemon of its own and a scripted panel watcher, seen from a
// second connection the way a panel sees it.
#include "app/StatusNotifierItem.h"

#include <QColor>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <map>
#include <memory>

// Outside the anonymous namespace so that the meta-object code can name it.
namespace status_notifier_test {

// Records the item's signals as a panel receives them.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> received;
    qsizetype count(const QString& member) const {
        return std::count_if(received.cbegin(), received.cend(), [&](const QDBusMessage& message) {
            return message.member() == member;
        });
    }
public slots:
    void record(const QDBusMessage& message) { received << message; }
};

} // namespace status_notifier_test

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

template <typename Condition> bool waitUntil(Condition condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void settleEvents(int milliseconds = 200) {
    waitUntil([] { return false; }, milliseconds);
}

// A session bus daemon in a temporary directory, so the tests neither see nor disturb the
// desktop's panel, and no service on the machine can be started on demand.
class PrivateBus {
public:
    ~PrivateBus() { stop(); }

    // Empty on success, otherwise what went wrong.
    QString start() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return QStringLiteral("dbus-daemon is not installed (package dbus)");
        if (!directory_.isValid())
            return QStringLiteral("no temporary directory for the bus socket");
        const QString configPath = directory_.filePath(QStringLiteral("bus.conf"));
        QFile config(configPath);
        if (!config.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write %1").arg(configPath);
        config.write(QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                         .arg(directory_.path())
                         .toUtf8());
        config.close();

        daemon_.start(daemon, {QStringLiteral("--config-file=") + configPath,
                               QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        if (!daemon_.waitForStarted(5000))
            return QStringLiteral("dbus-daemon did not start: ") + daemon_.errorString();
        QElapsedTimer timer;
        timer.start();
        while (!daemon_.canReadLine() && timer.elapsed() < 5000)
            daemon_.waitForReadyRead(100);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty())
            return QStringLiteral("dbus-daemon printed no address: ") +
                   QString::fromLocal8Bit(daemon_.readAllStandardError());
        return {};
    }

    void stop() {
        if (daemon_.state() == QProcess::NotRunning)
            return;
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000)) {
            daemon_.kill();
            daemon_.waitForFinished(3000);
        }
    }

    QString address() const { return address_; }

private:
    QTemporaryDir directory_;
    QProcess daemon_;
    QString address_;
};

// The panel side: python3-dbusmock owning the watcher name, given the one method an item
// calls, and asked afterwards what it was called with.
class WatcherMock {
public:
    ~WatcherMock() { stop(); }

    // Empty once the mock owns the watcher name, otherwise what went wrong. Until
    // addRegisterMethod() the watcher answers a registration with an error.
    QString start(const QString& busAddress, QDBusConnection observer) {
        // Debian's python modules; a python3 earlier on PATH may not see them.
        const QString python = QStringLiteral("/usr/bin/python3");
        if (!QFile::exists(python))
            return QStringLiteral("%1 is missing (package python3-dbusmock)").arg(python);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        process_.setProcessEnvironment(environment);
        process_.start(python, {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                                QStringLiteral("--session"), watcherService,
                                QStringLiteral("/StatusNotifierWatcher"), watcherService});
        if (!process_.waitForStarted(5000))
            return QStringLiteral("dbusmock did not start: ") + process_.errorString();
        const bool onBus = waitUntil(
            [&] {
                return process_.state() != QProcess::Running ||
                       observer.interface()->isServiceRegistered(watcherService).value();
            },
            10000);
        if (process_.state() != QProcess::Running || !onBus)
            return QStringLiteral("dbusmock did not take the watcher name (is python3-dbusmock "
                                  "installed?): ") +
                   QString::fromLocal8Bit(process_.readAllStandardError());
        return {};
    }

    QString addRegisterMethod(QDBusConnection observer) {
        QDBusMessage addMethod = mockCall(QStringLiteral("AddMethod"));
        addMethod << QString() << QStringLiteral("RegisterStatusNotifierItem")
                  << QStringLiteral("s") << QString() << QString();
        const QDBusMessage reply = observer.call(addMethod);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return QStringLiteral("AddMethod failed: ") + reply.errorMessage();
        return {};
    }

    // Abrupt, like a panel that crashes.
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished(3000);
    }

    static QStringList registeredItems(QDBusConnection observer) {
        QDBusMessage getCalls = mockCall(QStringLiteral("GetMethodCalls"));
        getCalls << QStringLiteral("RegisterStatusNotifierItem");
        const QDBusMessage reply = observer.call(getCalls);
        QStringList services;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return services;
        const auto calls = reply.arguments().constFirst().value<QDBusArgument>();
        calls.beginArray();
        while (!calls.atEnd()) {
            qulonglong timestamp = 0;
            QVariantList arguments;
            calls.beginStructure();
            calls >> timestamp >> arguments;
            calls.endStructure();
            if (!arguments.isEmpty())
                services << arguments.constFirst().toString();
        }
        calls.endArray();
        return services;
    }

private:
    static QDBusMessage mockCall(const QString& method) {
        return QDBusMessage::createMethodCall(
            watcherService, QStringLiteral("/StatusNotifierWatcher"), mockInterface, method);
    }

    QProcess process_;
};

QImage filledImage(int width, int height, QRgb color) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

class StatusNotifierItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString error = bus_.start();
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        static int connectionNumber = 0;
        ++connectionNumber;
        itemConnectionName_ = QStringLiteral("sni-test-item-%1").arg(connectionNumber);
        probeConnectionName_ = QStringLiteral("sni-test-probe-%1").arg(connectionNumber);
        itemBus_ = QDBusConnection::connectToBus(bus_.address(), itemConnectionName_);
        probe_ = QDBusConnection::connectToBus(bus_.address(), probeConnectionName_);
        ASSERT_TRUE(itemBus_.isConnected()) << itemBus_.lastError().message().toStdString();
        ASSERT_TRUE(probe_.isConnected()) << probe_.lastError().message().toStdString();
    }

    void TearDown() override {
        item_.reset();
        watcher_.stop();
        QDBusConnection::disconnectFromBus(itemConnectionName_);
        QDBusConnection::disconnectFromBus(probeConnectionName_);
        bus_.stop();
    }

    void startWatcher(bool withRegisterMethod = true) {
        const QString error = watcher_.start(bus_.address(), probe_);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        if (withRegisterMethod)
            addRegisterMethod();
    }

    void addRegisterMethod() {
        const QString error = watcher_.addRegisterMethod(probe_);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    }

    orb::StatusNotifierItem& makeItem() {
        item_ = std::make_unique<orb::StatusNotifierItem>(QStringLiteral("orbimeter"),
                                                          QStringLiteral("Orbimeter"), itemBus_);
        return *item_;
    }

    // Calls into the item run in this thread, so the caller must keep the event loop going.
    QDBusMessage callItem(const QString& interface, const QString& method,
                          const QVariantList& arguments = {}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(item_->serviceName(), itemPath, interface, method);
        call.setArguments(arguments);
        return probe_.call(call, QDBus::BlockWithGui, 5000);
    }

    QVariant itemProperty(const QString& name) {
        const QDBusMessage reply =
            callItem(propertiesInterface, QStringLiteral("Get"), {itemInterface, name});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << name.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    bool itemServiceOnBus() {
        return probe_.interface()->isServiceRegistered(item_->serviceName()).value();
    }

    PrivateBus bus_;
    WatcherMock watcher_;
    QString itemConnectionName_;
    QString probeConnectionName_;
    QDBusConnection itemBus_{QString()};
    QDBusConnection probe_{QString()};
    std::unique_ptr<orb::StatusNotifierItem> item_;
};

TEST_F(StatusNotifierItemTest, WatcherAvailableFollowsTheWatcherName) {
    EXPECT_FALSE(orb::StatusNotifierItem::watcherAvailable(itemBus_));
    startWatcher();
    EXPECT_TRUE(orb::StatusNotifierItem::watcherAvailable(itemBus_));
    watcher_.stop();
    EXPECT_TRUE(waitUntil([&] { return !orb::StatusNotifierItem::watcherAvailable(itemBus_); }));
}

TEST_F(StatusNotifierItemTest, RegistersItsServiceNameAndReleasesItOnDestruction) {
    startWatcher();
    orb::StatusNotifierItem& item = makeItem();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^org\\.kde\\.StatusNotifierItem-%1-\\d+$")
                                       .arg(QCoreApplication::applicationPid()))
                    .match(item.serviceName())
                    .hasMatch())
        << item.serviceName().toStdString();

    ASSERT_TRUE(item.registerWithWatcher());
    EXPECT_EQ(WatcherMock::registeredItems(probe_), QStringList{item.serviceName()});
    EXPECT_TRUE(itemServiceOnBus());

    const QString serviceName = item.serviceName();
    item_.reset();
    EXPECT_TRUE(
        waitUntil([&] { return !probe_.interface()->isServiceRegistered(serviceName).value(); }));
}

TEST_F(StatusNotifierItemTest, RegistrationFailsCleanlyWhenNoWatcherAccepts) {
    orb::StatusNotifierItem& item = makeItem();
    EXPECT_FALSE(item.registerWithWatcher()) << "no watcher on the bus";
    EXPECT_FALSE(itemServiceOnBus());

    startWatcher(/*withRegisterMethod=*/false);
    EXPECT_FALSE(item.registerWithWatcher()) << "the watcher answers with an error";
    EXPECT_FALSE(itemServiceOnBus());
}

TEST(StatusNotifierItemWithoutBus, RefusesToRegisterAndStillTakesUpdates) {
    QDBusConnection nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/orbimeter-test-bus"), QStringLiteral("sni-nowhere"));
    ASSERT_FALSE(nowhere.isConnected());
    EXPECT_FALSE(orb::StatusNotifierItem::watcherAvailable(nowhere));
    {
        orb::StatusNotifierItem item(QStringLiteral("orbimeter"), QStringLiteral("Orbimeter"),
                                     nowhere);
        EXPECT_FALSE(item.registerWithWatcher());
        item.setIcon(filledImage(22, 22, qRgba(1, 2, 3, 4)));
        item.setLabel(QStringLiteral("42%"));
        item.setToolTip(QStringLiteral("Orbimeter"), QStringLiteral("CPU 42%"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("sni-nowhere"));
}

TEST_F(StatusNotifierItemTest, IntrospectionShowsTheProtocolSignatures) {
    startWatcher();
    ASSERT_TRUE(makeItem().registerWithWatcher());
    const QDBusMessage reply = callItem(QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                        QStringLiteral("Introspect"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();

    // Property name to type, and method or signal name to its argument signature.
    std::map<QString, QString> properties, methods, signalArguments;
    QXmlStreamReader xml(reply.arguments().value(0).toString());
    bool inItemInterface = false;
    std::map<QString, QString>* current = nullptr;
    QString member;
    while (!xml.atEnd()) {
        xml.readNext();
        const auto attributes = xml.attributes();
        if (xml.isStartElement() && xml.name() == u"interface")
            inItemInterface = attributes.value(QLatin1String("name")) == itemInterface;
        if (!inItemInterface || !xml.isStartElement())
            continue;
        if (xml.name() == u"property") {
            properties[attributes.value(QLatin1String("name")).toString()] =
                attributes.value(QLatin1String("type")).toString();
            EXPECT_EQ(attributes.value(QLatin1String("access")).toString(), QStringLiteral("read"))
                << attributes.value(QLatin1String("name")).toString().toStdString();
        } else if (xml.name() == u"method" || xml.name() == u"signal") {
            current = xml.name() == u"method" ? &methods : &signalArguments;
            member = attributes.value(QLatin1String("name")).toString();
            (*current)[member];
        } else if (xml.name() == u"arg" && current) {
            (*current)[member] += attributes.value(QLatin1String("type")).toString();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    const std::map<QString, QString> expectedProperties{
        {"Category", "s"},
        {"Id", "s"},
        {"Title", "s"},
        {"Status", "s"},
        {"WindowId", "i"},
        {"IconName", "s"},
        {"IconPixmap", "a(iiay)"},
        {"OverlayIconName", "s"},
        {"OverlayIconPixmap", "a(iiay)"},
        {"AttentionIconName", "s"},
        {"AttentionIconPixmap", "a(iiay)"},
        {"AttentionMovieName", "s"},
        {"ToolTip", "(sa(iiay)ss)"},
        {"ItemIsMenu", "b"},
        {"Menu", "o"},
        {"XAyatanaLabel", "s"},
        {"XAyatanaLabelGuide", "s"},
        {"XAyatanaOrderingIndex", "u"},
    };
    EXPECT_EQ(properties, expectedProperties);
    const std::map<QString, QString> expectedMethods{
        {"Activate", "ii"}, {"SecondaryActivate", "ii"}, {"ContextMenu", "ii"}, {"Scroll", "is"}};
    EXPECT_EQ(methods, expectedMethods);
    const std::map<QString, QString> expectedSignals{
        {"NewTitle", ""},   {"NewIcon", ""},    {"NewAttentionIcon", ""},  {"NewOverlayIcon", ""},
        {"NewToolTip", ""}, {"NewStatus", "s"}, {"XAyatanaNewLabel", "ss"}};
    EXPECT_EQ(signalArguments, expectedSignals);
}

TEST_F(StatusNotifierItemTest, PanelReadsBackIconLabelAndToolTip) {
    startWatcher();
    orb::StatusNotifierItem& item = makeItem();
    QImage icon = filledImage(22, 22, qRgba(0x11, 0x22, 0x33, 0x80));
    icon.setPixel(1, 0, qRgba(0xaa, 0xbb, 0xcc, 0xff));
    item.setIcon(icon);
    item.setLabel(QStringLiteral("42%"), QStringLiteral("100%"));
    item.setToolTip(QStringLiteral("Orbimeter"), QStringLiteral("CPU 42%"));
    ASSERT_TRUE(item.registerWithWatcher());

    const auto pixmaps = qdbus_cast<orb::SniPixmapList>(itemProperty(QStringLiteral("IconPixmap")));
    ASSERT_EQ(pixmaps.size(), 1);
    EXPECT_EQ(pixmaps[0].width, 22);
    EXPECT_EQ(pixmaps[0].height, 22);
    ASSERT_EQ(pixmaps[0].argbBigEndian.size(), 22 * 22 * 4);
    // Alpha first, then red, green and blue, whatever the byte order of this machine.
    EXPECT_EQ(pixmaps[0].argbBigEndian.left(8), QByteArray("\x80\x11\x22\x33\xff\xaa\xbb\xcc", 8));

    EXPECT_EQ(itemProperty(QStringLiteral("XAyatanaLabel")).toString(), QStringLiteral("42%"));
    EXPECT_EQ(itemProperty(QStringLiteral("XAyatanaLabelGuide")).toString(),
              QStringLiteral("100%"));
    const auto toolTip = qdbus_cast<orb::SniToolTip>(itemProperty(QStringLiteral("ToolTip")));
    EXPECT_EQ(toolTip.title, QStringLiteral("Orbimeter"));
    EXPECT_EQ(toolTip.text, QStringLiteral("CPU 42%"));
    EXPECT_TRUE(toolTip.iconPixmaps.isEmpty());
    EXPECT_EQ(itemProperty(QStringLiteral("Id")).toString(), QStringLiteral("orbimeter"));
    EXPECT_EQ(itemProperty(QStringLiteral("Title")).toString(), QStringLiteral("Orbimeter"));

    // Panels fetch everything at once; one property that fails to marshal would drop out.
    const QDBusMessage all =
        callItem(propertiesInterface, QStringLiteral("GetAll"), {itemInterface});
    ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
    const auto everything = qdbus_cast<QVariantMap>(all.arguments().value(0));
    EXPECT_EQ(everything.size(), 18) << everything.keys().join(u' ').toStdString();
    EXPECT_TRUE(everything.contains(QStringLiteral("IconPixmap")));
    EXPECT_TRUE(everything.contains(QStringLiteral("ToolTip")));
}

TEST(StatusNotifierItemIcon, SendsTheImageAndItsLowDpiSizeButNothingHuge) {
    EXPECT_TRUE(orb::pixmapsForIcon(QImage()).isEmpty());

    QImage hiDpi = filledImage(44, 44, qRgba(255, 0, 0, 255));
    hiDpi.setDevicePixelRatio(2.0);
    const auto both = orb::pixmapsForIcon(hiDpi);
    ASSERT_EQ(both.size(), 2);
    EXPECT_EQ(both[0].width, 22);
    EXPECT_EQ(both[0].argbBigEndian.size(), 22 * 22 * 4);
    EXPECT_EQ(both[1].width, 44);
    EXPECT_EQ(both[1].argbBigEndian.size(), 44 * 44 * 4);

    // A wide label image keeps its shape, within the size limit.
    const auto wide = orb::pixmapsForIcon(filledImage(1000, 250, qRgba(0, 0, 255, 255)));
    ASSERT_EQ(wide.size(), 1);
    EXPECT_EQ(wide[0].width, orb::largestPixmapSide);
    EXPECT_EQ(wide[0].height, orb::largestPixmapSide / 4);

    const auto sliver = orb::pixmapsForIcon(filledImage(1000, 1, qRgba(0, 0, 255, 255)));
    ASSERT_EQ(sliver.size(), 1);
    EXPECT_EQ(sliver[0].height, 1);
    EXPECT_EQ(sliver[0].argbBigEndian.size(), sliver[0].width * 4);

    // Other image formats go out as straight, not premultiplied, ARGB.
    QImage premultiplied(1, 1, QImage::Format_ARGB32_Premultiplied);
    premultiplied.fill(QColor(0x80, 0x40, 0x20, 0x80));
    const QByteArray bytes = orb::pixmapsForIcon(premultiplied).value(0).argbBigEndian;
    ASSERT_EQ(bytes.size(), 4);
    EXPECT_EQ(quint8(bytes[0]), 0x80);
    EXPECT_NEAR(quint8(bytes[1]), 0x80, 2);
}

TEST_F(StatusNotifierItemTest, ChangeSignalsGoOutOnlyForRealChanges) {
    startWatcher();
    orb::StatusNotifierItem& item = makeItem();
    ASSERT_TRUE(item.registerWithWatcher());
    status_notifier_test::SignalLog log;
    for (const char* name : {"NewIcon", "NewToolTip", "XAyatanaNewLabel"})
        ASSERT_TRUE(probe_.connect(item.serviceName(), itemPath, itemInterface,
                                   QString::fromLatin1(name), &log, SLOT(record(QDBusMessage))));

    const QImage green = filledImage(22, 22, qRgba(0, 255, 0, 255));
    item.setIcon(green);
    item.setIcon(green.copy()); // same pixels, another image
    item.setLabel(QStringLiteral("7%"), QStringLiteral("100%"));
    item.setLabel(QStringLiteral("7%"), QStringLiteral("100%"));
    item.setToolTip(QStringLiteral("Orbimeter"), QStringLiteral("CPU 7%"));
    item.setToolTip(QStringLiteral("Orbimeter"), QStringLiteral("CPU 7%"));
    ASSERT_TRUE(waitUntil([&] { return log.received.size() >= 3; }));
    settleEvents();
    EXPECT_EQ(log.count(QStringLiteral("NewIcon")), 1);
    EXPECT_EQ(log.count(QStringLiteral("NewToolTip")), 1);
    ASSERT_EQ(log.count(QStringLiteral("XAyatanaNewLabel")), 1);
    const auto labelSignal = std::find_if(log.received.cbegin(), log.received.cend(), [](auto& m) {
        return m.member() == QStringLiteral("XAyatanaNewLabel");
    });
    EXPECT_EQ(labelSignal->arguments(),
              QVariantList({QStringLiteral("7%"), QStringLiteral("100%")}));

    QImage oneDifferentPixel = green.copy();
    oneDifferentPixel.setPixel(21, 21, qRgba(0, 254, 0, 255));
    item.setIcon(oneDifferentPixel);
    item.setLabel(QStringLiteral("7%"), QStringLiteral("99%"));
    EXPECT_TRUE(waitUntil([&] { return log.count(QStringLiteral("NewIcon")) == 2; }));
    EXPECT_TRUE(waitUntil([&] { return log.count(QStringLiteral("XAyatanaNewLabel")) == 2; }));
}

TEST_F(StatusNotifierItemTest, ClicksFromThePanelBecomeSignals) {
    startWatcher();
    orb::StatusNotifierItem& item = makeItem();
    ASSERT_TRUE(item.registerWithWatcher());
    QList<QPoint> activated, secondary, contextMenu;
    QObject::connect(&item, &orb::StatusNotifierItem::activated,
                     [&](const QPoint& point) { activated << point; });
    QObject::connect(&item, &orb::StatusNotifierItem::secondaryActivated,
                     [&](const QPoint& point) { secondary << point; });
    QObject::connect(&item, &orb::StatusNotifierItem::contextMenuRequested,
                     [&](const QPoint& point) { contextMenu << point; });

    for (const char* method : {"Activate", "SecondaryActivate", "ContextMenu"}) {
        const QDBusMessage reply = callItem(itemInterface, QString::fromLatin1(method), {10, 20});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method << ": " << reply.errorMessage().toStdString();
    }
    const QDBusMessage scroll =
        callItem(itemInterface, QStringLiteral("Scroll"), {120, QStringLiteral("vertical")});
    EXPECT_EQ(scroll.type(), QDBusMessage::ReplyMessage) << scroll.errorMessage().toStdString();

    EXPECT_EQ(activated, QList<QPoint>{QPoint(10, 20)});
    EXPECT_EQ(secondary, QList<QPoint>{QPoint(10, 20)});
    EXPECT_EQ(contextMenu, QList<QPoint>{QPoint(10, 20)});
}

TEST_F(StatusNotifierItemTest, RegistersAgainWhenThePanelWatcherRestarts) {
    startWatcher();
    orb::StatusNotifierItem& item = makeItem();
    ASSERT_TRUE(item.registerWithWatcher());

    watcher_.stop();
    ASSERT_TRUE(waitUntil([&] { return !orb::StatusNotifierItem::watcherAvailable(probe_); }));
    // The new watcher owns its name a while before it takes calls, as a real one may while
    // starting up; the item has to try again rather than give up on the first error.
    startWatcher(/*withRegisterMethod=*/false);
    settleEvents(300);
    addRegisterMethod();
    EXPECT_TRUE(waitUntil(
        [&] { return WatcherMock::registeredItems(probe_).contains(item.serviceName()); }, 10000));
    EXPECT_TRUE(itemServiceOnBus());
}

} // namespace

#include "test_status_notifier_item.moc"
