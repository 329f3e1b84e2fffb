// The tests never touch the real ~/.config: before anything runs, the process's
// configuration and home directories point into a temporary directory (each test then
// points them at its own).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    QTemporaryDir sandbox;
    if (!sandbox.isValid()) {
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QDir(sandbox.path()).filePath("config").toUtf8());
    qputenv("HOME", QDir(sandbox.path()).filePath("home").toUtf8());

    QCoreApplication app(argc, argv);  // the start-at-login entry needs the program path
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
