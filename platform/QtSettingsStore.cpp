#include "platform/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <cstdio>

namespace orb::platform {

namespace {

void printLine(const QString& line) {
    std::fprintf(stdout, "%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

// From the environment as it is now; QSettings would fix the config directory once per process
// and, asked for a path, leave a parse of the file in its cache.
QString defaultFilePath() {
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/orbimeter/orbimeter.conf");
}

} // namespace

QtSettingsStore::QtSettingsStore() : filePath_(defaultFilePath()) {
    settings_ = open();
    if (settings_->status() == QSettings::AccessError) {
        readable_ = false;
        printLine(QString("Settings: cannot read %1; using the defaults").arg(filePath_));
        // QSettings keeps the first error for good; a fresh instance lets writes report their own.
        settings_ = open();
    } else if (isDamaged()) {
        setAsideDamagedFile();
    }
}

std::unique_ptr<QSettings> QtSettingsStore::open() const {
    return std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
}

bool QtSettingsStore::isDamaged() const {
    if (settings_->status() == QSettings::FormatError)
        return true;
    // QSettings parses a file once per process and shares that parse with every later instance
    // on the same file; only the instance that parsed it hears of a format error. Whatever else
    // in the process read the file first, a private copy under a fresh name gets a parse of its
    // own.
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    // QSettings writes UTF-8 text. Anything else, binary junk above all, parses without a
    // complaint into keys of garbage that every later save would write back.
    QStringDecoder utf8(QStringConverter::Utf8);
    [[maybe_unused]] const QString text = utf8.decode(content);
    if (content.contains('\0') || utf8.hasError())
        return true;
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/orbimeter-settings-XXXXXX.conf"));
    if (!copy.open() || copy.write(content) != content.size() || !copy.flush())
        return false;
    return QSettings(copy.fileName(), QSettings::IniFormat).status() == QSettings::FormatError;
}

void QtSettingsStore::setAsideDamagedFile() {
    const QString keptAs = filePath_ + ".damaged";
    QFile::remove(keptAs);
    if (QFile::rename(filePath_, keptAs)) {
        printLine(QString("Settings: %1 was damaged and is kept as %2; using the defaults")
                      .arg(filePath_, keptAs));
        settings_ = open();
        return;
    }
    // Whatever QSettings salvaged from the file may be wrong, so none of it is used.
    readable_ = false;
    printLine(QString("Settings: %1 is damaged; using the defaults").arg(filePath_));
}

std::optional<QString> QtSettingsStore::stringForKey(const QString& key) {
    if (!readable_)
        return std::nullopt;
    const QVariant value = settings_->value(key);
    // A hand-edited value with commas reads back as a list; that is no stored choice.
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void QtSettingsStore::setString(const QString& key, const QString& value) {
    settings_->setValue(key, value);
    settings_->sync();
    // A failed write stays pending in QSettings, which tries again on every later write.
    if (settings_->status() == QSettings::AccessError && !writeFailureReported_) {
        writeFailureReported_ = true;
        printLine(QString("Settings: cannot save to %1; changes last until Orbimeter quits")
                      .arg(filePath_));
    }
}

} // namespace orb::platform
