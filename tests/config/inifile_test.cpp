// Which cfg.ini texts may be handed to QSettings: none in which Qt would deserialise
// a value, and every one QSettings writes for our text values.
#include "Setting/inifile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

using vantor::iniTextIsPlain;

TEST(IniFile, TextValuesAsQSettingsWritesThemArePlain)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("cfg.ini");
    const QStringList values = {"2",
                                "@home",
                                "/a=@b",
                                "x, @Variant(y)",
                                QString::fromUtf8("C:\\Users\\\u7528\u6237"),
                                " @lead",
                                "\"@q\"",
                                QString::fromUtf8("a\0@b", 4)};
    {
        QSettings file(path, QSettings::IniFormat);
        for (int i = 0; i < values.size(); ++i)
            file.setValue(QStringLiteral("recordCfg/value%1").arg(i), values[i]);
    }
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(iniTextIsPlain(written.readAll()));
    const QSettings file(path, QSettings::IniFormat);
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(file.value(QStringLiteral("recordCfg/value%1").arg(i)).toString(), values[i]);
}

TEST(IniFile, HandWrittenPlainFormsArePlain)
{
    EXPECT_TRUE(iniTextIsPlain("[castCfg]\nbitRate=1\nframeRate = 2 ; comment @Variant(\n"));
    EXPECT_TRUE(iniTextIsPlain("a=@@Variant(x)\nb=@String(x)\nc=@Rect(1 2 3 4)\nd=@Invalid()\n"));
    EXPECT_TRUE(iniTextIsPlain("a=\" @Variant(x)\"\nb=\"1, @Variant(x)\"\n"));
    EXPECT_TRUE(iniTextIsPlain("; @Variant(x)\n[castCfg]\n"));
}

TEST(IniFile, EveryWayToSpellASerialisedValueIsCaught)
{
    for (const char* text : {
             "bitRate=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x3)",
             "bitRate=@DateTime(x)",
             "bitRate=\\x40Variant(x)",
             "bitRate=\\100Variant(x)",
             "bitRate=\"@Variant(x)\"",
             "bitRate=\"\" @Variant(x)",
             "bitRate=1, @Variant(x)",
             "bitRate=\\q@Variant(x)",
             "bitRate=\\\r\n@Variant(x)",
             "bitRate=@\\x56\\x61riant(x)",
             "bitRate=\\x0000040Variant(x)",
             "a=\"multi\nline\"\nbitRate=@Variant(x)",
         }) {
        EXPECT_FALSE(iniTextIsPlain(text)) << text;
    }
}
