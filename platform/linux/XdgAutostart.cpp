#include "platform/linux/XdgAutostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace orb::platform {

namespace {

const QString entryFileName = QStringLiteral("orbimeter.desktop");

// Characters that make an Exec argument need double quotes.
bool isReservedInExec(QChar c) {
    return QStringView(u" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

// Characters that keep a special meaning inside the double quotes of an Exec argument.
bool needsBackslashInQuotes(QChar c) {
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

QString quoteExecArgument(const QString& argument) {
    QString quoted;
    if (std::none_of(argument.begin(), argument.end(), isReservedInExec)) {
        quoted = argument;
    } else {
        quoted += u'"';
        for (QChar c : argument) {
            if (needsBackslashInQuotes(c))
                quoted += u'\\';
            quoted += c;
        }
        quoted += u'"';
    }
    // A single percent sign would start a field code that the launcher replaces.
    quoted.replace(QStringLiteral("%"), QStringLiteral("%%"));
    return quoted;
}

QString escapeDesktopString(const QString& text) {
    QString escaped;
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += u"\\\\";
            break;
        case u'\n':
            escaped += u"\\n";
            break;
        case u'\t':
            escaped += u"\\t";
            break;
        case u'\r':
            escaped += u"\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString unescapeDesktopString(QStringView value) {
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case u's':
            text += u' ';
            break;
        case u'n':
            text += u'\n';
            break;
        case u't':
            text += u'\t';
            break;
        case u'r':
            text += u'\r';
            break;
        default:
            text += value[i];
        }
    }
    return text;
}

} // namespace

QString desktopExecValue(const QString& program) {
    return escapeDesktopString(quoteExecArgument(program));
}

XdgAutostart::XdgAutostart(const QString& autostartDirectory, const QString& executablePath)
    : directory_(autostartDirectory), executable_(executablePath) {}

QString XdgAutostart::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString XdgAutostart::defaultExecutable() {
    // Inside an AppImage the executable lives in a mount that is gone after logout.
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    return appImage.isEmpty() ? QCoreApplication::applicationFilePath() : appImage;
}

QString XdgAutostart::entryPath() const {
    return QDir(directory_).filePath(entryFileName);
}

LoginItemStatus XdgAutostart::status() {
    QFile file(entryPath());
    // An entry the session cannot read does not start anything either.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return LoginItemStatus::notRegistered;

    std::optional<QString> tryExec;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || equals < 0 || line.startsWith(u'#'))
            continue;
        const QStringView key = QStringView(line).left(equals).trimmed();
        const QStringView value = QStringView(line).mid(equals + 1).trimmed();
        if ((key == u"Hidden" && value == u"true") ||
            (key == u"X-GNOME-Autostart-enabled" && value == u"false"))
            return LoginItemStatus::notRegistered;
        if (key == u"TryExec")
            tryExec = unescapeDesktopString(value);
    }
    if (tryExec && QStandardPaths::findExecutable(*tryExec).isEmpty())
        return LoginItemStatus::notFound;
    return LoginItemStatus::enabled;
}

std::optional<QString> XdgAutostart::registerItem() {
    if (executable_.isEmpty())
        return QStringLiteral("the path of the program is unknown");
    if (!QDir().mkpath(directory_))
        return QString("cannot create the folder %1").arg(directory_);

    // The delay lets the panel's tray host start first, so the item goes straight to it rather
    // than to the X11 tray. The installed desktop entry carries the same autostart keys.
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Orbimeter\n"
                                         "Comment=System monitor in the tray\n"
                                         "Exec=%1\n"
                                         "TryExec=%2\n"
                                         "Terminal=false\n"
                                         "NoDisplay=false\n"
                                         "X-GNOME-Autostart-enabled=true\n"
                                         "X-GNOME-Autostart-Delay=5\n")
                              .arg(desktopExecValue(executable_), escapeDesktopString(executable_));
    // Written to a temporary file and renamed over the entry, so a session that logs in
    // meanwhile never sees half an entry.
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit())
        return QString("cannot write %1: %2").arg(entryPath(), file.errorString());
    return std::nullopt;
}

std::optional<QString> XdgAutostart::unregisterItem() {
    QFile file(entryPath());
    if (!file.exists())
        return std::nullopt;
    if (!file.remove())
        return QString("cannot remove %1: %2").arg(entryPath(), file.errorString());
    return std::nullopt;
}

std::unique_ptr<LoginItemService> makeLoginItemService() {
    return std::make_unique<XdgAutostart>(XdgAutostart::defaultDirectory(),
                                          XdgAutostart::defaultExecutable());
}

} // namespace orb::platform
