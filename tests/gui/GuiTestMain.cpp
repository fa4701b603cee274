// The views need a widget application object: the label is painted with fonts and the shell
// owns Qt Quick windows.
#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        QDir().mkpath(QString::fromLocal8Bit(runtime));
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
