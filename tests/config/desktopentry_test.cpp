#include "Setting/desktopentry.h"

#include <gtest/gtest.h>

using vantor::DesktopEntry;
using vantor::desktopExecValue;

TEST(DesktopExecValue, PlainPathsStayAsTheyAre)
{
    EXPECT_EQ(desktopExecValue("/usr/bin/vantor"), "/usr/bin/vantor");
    EXPECT_EQ(desktopExecValue("/opt/vantor-1.0/bin/vantor"), "/opt/vantor-1.0/bin/vantor");
}

TEST(DesktopExecValue, PathsWithReservedCharactersAreQuoted)
{
    EXPECT_EQ(desktopExecValue("/home/li lei/Vantor App/vantor"),
              "\"/home/li lei/Vantor App/vantor\"");
    EXPECT_EQ(desktopExecValue("/opt/a&b/vantor"), "\"/opt/a&b/vantor\"");
    // Inside quotes ", `, $ and \ take a backslash, which the string escape doubles.
    EXPECT_EQ(desktopExecValue("/opt/$x \"y\"/vantor"), "\"/opt/\\\\$x \\\\\"y\\\\\"/vantor\"");
    EXPECT_EQ(desktopExecValue("/opt/a\\b/vantor"), "\"/opt/a\\\\\\\\b/vantor\"");
    // '%' would start a field code.
    EXPECT_EQ(desktopExecValue("/opt/100%/vantor"), "/opt/100%%/vantor");
}

TEST(DesktopEntryText, ValuesAreReadFromTheDesktopEntryGroupOnly)
{
    const DesktopEntry entry = DesktopEntry::fromText(
        "# Exec=comment\nExec=outside\n[Desktop Entry]\r\n Name = Vantor \r\n"
        "Exec=/usr/bin/vantor\n[Other]\nHidden=true\n");
    EXPECT_EQ(entry.value("Name"), "Vantor");
    EXPECT_EQ(entry.value("Exec"), "/usr/bin/vantor");
    EXPECT_FALSE(entry.contains("Hidden"));
    EXPECT_EQ(entry.value("Hidden"), "");
}

TEST(DesktopEntryText, SetValueReplacesOrAppendsInsideTheGroup)
{
    DesktopEntry entry = DesktopEntry::fromText("[Desktop Entry]\nHidden=false\n\n[Other]\nA=1\n");
    entry.setValue("Hidden", "true");
    entry.setValue("Exec", "/usr/bin/vantor");
    EXPECT_EQ(entry.toText(),
              "[Desktop Entry]\nHidden=true\nExec=/usr/bin/vantor\n\n[Other]\nA=1\n");

    DesktopEntry empty = DesktopEntry::fromText("");
    empty.setValue("Type", "Application");
    EXPECT_EQ(empty.toText(), "[Desktop Entry]\nType=Application\n");
}

TEST(DesktopEntryText, BooleansAsDesktopsReadThem)
{
    EXPECT_TRUE(vantor::desktopBoolean("true"));
    EXPECT_TRUE(vantor::desktopBoolean("1"));
    EXPECT_FALSE(vantor::desktopBoolean("false"));
    EXPECT_FALSE(vantor::desktopBoolean(""));
    EXPECT_FALSE(vantor::desktopBoolean("yes"));
}
