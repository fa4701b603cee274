#include "platform/QtSettingsStore.h"

#include <QFile>
#include <cstdio>

namespace orb::platform {

namespace {

void printLine(const QString& line) {
    std::fprintf(stdout, "%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

QString defaultFilePath() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "orbimeter", "orbimeter")
        .fileName();
}

} // namespace

QtSettingsStore::QtSettingsStore() : QtSettingsStore(defaultFilePath()) {}

QtSettingsStore::QtSettingsStore(const QString& filePath) : filePath_(filePath) {
    settings_ = open();
    // QSettings parses on first use; parse now so that a bad file is dealt with before anything
    // reads from it.
    settings_->allKeys();
    switch (settings_->status()) {
    case QSettings::NoError:
        break;
    case QSettings::FormatError:
        setAsideDamagedFile();
        break;
    case QSettings::AccessError:
        readable_ = false;
        printLine(QString("Settings: cannot read %1; using the defaults").arg(filePath_));
        // QSettings keeps the first error for good; a fresh instance lets writes report their own.
        settings_ = open();
        break;
    }
}

std::unique_ptr<QSettings> QtSettingsStore::open() const {
    return std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
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
