#include "Setting/startonboot.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "Setting/desktopentry.h"
#include "tests/config/configtestenvironment.h"

using vantor::readStartOnBoot;
using vantor::writeStartOnBoot;

class StartOnBootTest : public ConfigTestEnvironment {
protected:
    vantor::DesktopEntry entry() const
    {
        return vantor::DesktopEntry::fromText(QString::fromUtf8(readAll(autostartFile())));
    }
};

TEST_F(StartOnBootTest, NoEntryReadsOff) { EXPECT_FALSE(readStartOnBoot()); }

TEST_F(StartOnBootTest, OnWritesAnEntryThatRunsThisProgram)
{
    ASSERT_TRUE(writeStartOnBoot(true));
    EXPECT_TRUE(readStartOnBoot());

    const vantor::DesktopEntry written = entry();
    EXPECT_EQ(written.value("Type"), "Application");
    EXPECT_EQ(written.value("Name"), "Vantor");
    EXPECT_EQ(written.value("Exec"),
              vantor::desktopExecValue(QCoreApplication::applicationFilePath()));
    EXPECT_TRUE(QFileInfo(QCoreApplication::applicationFilePath()).isAbsolute());
    EXPECT_EQ(written.value("Hidden"), "false");
    EXPECT_TRUE(readAll(autostartFile()).startsWith("[Desktop Entry]\n"));
}

TEST_F(StartOnBootTest, OffHidesTheEntryButNeverDeletesIt)
{
    ASSERT_TRUE(writeStartOnBoot(true));
    const QString exec = entry().value("Exec");
    ASSERT_TRUE(writeStartOnBoot(false));
    EXPECT_FALSE(readStartOnBoot());
    ASSERT_TRUE(QFileInfo::exists(autostartFile()));
    EXPECT_EQ(entry().value("Hidden"), "true");
    EXPECT_EQ(entry().value("Exec"), exec);

    // Off twice stays off, on again shows it.
    ASSERT_TRUE(writeStartOnBoot(false));
    EXPECT_FALSE(readStartOnBoot());
    ASSERT_TRUE(writeStartOnBoot(true));
    EXPECT_TRUE(readStartOnBoot());
    EXPECT_EQ(entry().value("Hidden"), "false");
}

TEST_F(StartOnBootTest, OffWithoutAnEntryCreatesAHiddenOne)
{
    ASSERT_TRUE(writeStartOnBoot(false));
    ASSERT_TRUE(QFileInfo::exists(autostartFile()));
    EXPECT_EQ(entry().value("Hidden"), "true");
    EXPECT_FALSE(entry().value("Exec").isEmpty());
    EXPECT_FALSE(readStartOnBoot());
}

TEST_F(StartOnBootTest, AnyVisibleEntryWithAnExecReadsOn)
{
    writeAll(autostartFile(), "[Desktop Entry]\nType=Application\nExec=/usr/bin/another-program\n");
    EXPECT_TRUE(readStartOnBoot());
    writeAll(autostartFile(), "[Desktop Entry]\nExec = x\nHidden = false\n");
    EXPECT_TRUE(readStartOnBoot());
}

TEST_F(StartOnBootTest, HiddenOrEmptyEntriesReadOff)
{
    const QByteArray off[] = {
        "[Desktop Entry]\nExec=/usr/bin/vantor\nHidden=true\n",
        "[Desktop Entry]\nExec=/usr/bin/vantor\nHidden=1\n",
        "[Desktop Entry]\nExec=\nHidden=false\n",
        "[Desktop Entry]\nType=Application\n",
        "[Desktop Action x]\nExec=/usr/bin/vantor\n",
        "",
    };
    for (const QByteArray& content : off) {
        SCOPED_TRACE(content.toStdString());
        writeAll(autostartFile(), content);
        EXPECT_FALSE(readStartOnBoot());
    }
}

TEST_F(StartOnBootTest, OffKeepsWhatElseTheEntryHolds)
{
    writeAll(autostartFile(),
             "# written by hand\n[Desktop Entry]\nExec=/opt/v/vantor --quiet\n"
             "X-GNOME-Autostart-Delay=5\n\n[Desktop Action extra]\nExec=other\n");
    ASSERT_TRUE(writeStartOnBoot(false));
    EXPECT_EQ(readAll(autostartFile()),
              "# written by hand\n[Desktop Entry]\nExec=/opt/v/vantor --quiet\n"
              "X-GNOME-Autostart-Delay=5\nHidden=true\n\n[Desktop Action extra]\nExec=other\n");
    EXPECT_FALSE(readStartOnBoot());
}

TEST_F(StartOnBootTest, AnEntryThatCannotBeWrittenIsReported)
{
    ASSERT_TRUE(QDir().mkpath(autostartFile()));  // a directory in the entry's place
    EXPECT_FALSE(writeStartOnBoot(true));
    EXPECT_FALSE(readStartOnBoot());
    EXPECT_TRUE(QFileInfo(autostartFile()).isDir());
}
