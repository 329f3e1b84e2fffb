#include "Setting/configstore.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QSignalSpy>
#include <QStringList>

#include "Setting/castquality.h"
#include "Setting/startonboot.h"
#include "tests/config/configtestenvironment.h"

using vantor::ConfigStore;
using vantor::ConfigValues;

namespace {

// Collects the Qt debug lines written while it lives.
class DebugLines {
public:
    DebugLines() { m_previous = qInstallMessageHandler(&DebugLines::collect); }
    ~DebugLines()
    {
        qInstallMessageHandler(m_previous);
        lines().clear();
    }
    static QStringList& lines()
    {
        static QStringList collected;
        return collected;
    }

private:
    static void collect(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        lines().append(message);
    }
    QtMessageHandler m_previous = nullptr;
};

void expectValues(const ConfigValues& actual, const ConfigValues& expected)
{
    EXPECT_EQ(actual.language, expected.language);
    EXPECT_EQ(actual.startOnBoot, expected.startOnBoot);
    EXPECT_EQ(actual.autoRecord, expected.autoRecord);
    EXPECT_EQ(actual.fileSavePath, expected.fileSavePath);
    EXPECT_EQ(actual.recordQuality, expected.recordQuality);
    EXPECT_EQ(actual.audioSource, expected.audioSource);
    EXPECT_EQ(actual.castMode, expected.castMode);
    EXPECT_EQ(actual.bitRate, expected.bitRate);
    EXPECT_EQ(actual.frameRate, expected.frameRate);
    EXPECT_EQ(actual.resolution, expected.resolution);
}

}  // namespace

class ConfigStoreTest : public ConfigTestEnvironment {
protected:
    QStringList fileLines() const
    {
        return QString::fromUtf8(readAll(configFile())).split('\n', Qt::SkipEmptyParts);
    }
};

TEST_F(ConfigStoreTest, FirstRunCreatesTheDirectoryAndWritesTheDefaults)
{
    ASSERT_FALSE(QFileInfo::exists(configHome()));
    ConfigStore store;

    EXPECT_EQ(store.configDirectory(), configHome() + "/vantor");
    EXPECT_EQ(store.configFilePath(), configFile());
    const QString documents = home() + "/Documents";
    const QStringList expected = {
        "[appCfg]",
        "language=0",
        "[castCfg]",
        "bitRate=0",
        "castMode=0",
        "frameRate=1",
        "resolution=1",
        "[recordCfg]",
        "audioSource=0",
        "autoRecord=0",
        "fileSavePath=" + documents,
        "recordQuality=0",
    };
    EXPECT_EQ(fileLines(), expected);

    // The start-at-login entry is written too, switched off.
    ASSERT_TRUE(QFileInfo::exists(autostartFile()));
    EXPECT_TRUE(readAll(autostartFile()).contains("\nHidden=true\n"));
    EXPECT_FALSE(vantor::readStartOnBoot());

    ConfigValues defaults;
    defaults.fileSavePath = documents;
    expectValues(store.values(), defaults);
}

TEST_F(ConfigStoreTest, LoadReadsAnExistingFileWithoutRewritingIt)
{
    const QByteArray content =
        "[appCfg]\nlanguage=0\n[recordCfg]\nautoRecord=1\nfileSavePath=/srv/recordings\n"
        "recordQuality=2\naudioSource=0\n[castCfg]\ncastMode=1\nbitRate=3\nframeRate=2\n"
        "resolution=0\n";
    writeAll(configFile(), content);
    ConfigStore store;

    ConfigValues expected;
    expected.autoRecord = true;
    expected.fileSavePath = "/srv/recordings";
    expected.recordQuality = 2;
    expected.castMode = 1;
    expected.bitRate = 3;
    expected.frameRate = 2;
    expected.resolution = 0;
    expectValues(store.values(), expected);
    EXPECT_EQ(readAll(configFile()), content);
    // An existing file means no first run: the start-at-login entry is left alone.
    EXPECT_FALSE(QFileInfo::exists(autostartFile()));
}

TEST_F(ConfigStoreTest, MissingKeysReadAsZeroFalseAndEmpty)
{
    writeAll(configFile(), "[castCfg]\ncastMode=2\n");
    ConfigStore store;

    ConfigValues expected;
    expected.castMode = 2;
    expected.frameRate = 0;
    expected.resolution = 0;
    expected.fileSavePath = QString();
    expectValues(store.values(), expected);
}

TEST_F(ConfigStoreTest, StoredLanguageIsPutBackToChinese)
{
    writeAll(configFile(), "[appCfg]\nlanguage=1\n[castCfg]\nbitRate=2\n");
    ConfigStore store;

    EXPECT_EQ(store.values().language, 0);
    EXPECT_EQ(storedText("appCfg/language"), "0");
    EXPECT_EQ(storedText("castCfg/bitRate"), "2");

    // Picking "Eng" stores 1 but keeps the page in Chinese; the next load undoes it.
    EXPECT_TRUE(store.setLanguage(1));
    EXPECT_EQ(storedText("appCfg/language"), "1");
    EXPECT_EQ(store.values().language, 0);
    store.load(store.configFilePath());
    EXPECT_EQ(storedText("appCfg/language"), "0");

    // The list has two rows; anything else writes nothing.
    EXPECT_TRUE(store.setLanguage(1));
    EXPECT_TRUE(store.setLanguage(2));
    EXPECT_TRUE(store.setLanguage(-1));
    EXPECT_EQ(storedText("appCfg/language"), "1");
}

TEST_F(ConfigStoreTest, EachSetterWritesItsOwnKeyAsText)
{
    ConfigStore store;
    const QByteArray entryBefore = readAll(autostartFile());

    EXPECT_TRUE(store.setAutoRecord(true));
    EXPECT_TRUE(store.setFileSavePath("/tmp/videos here"));
    EXPECT_TRUE(store.setRecordQuality(2));
    EXPECT_TRUE(store.setAudioSource(0));
    EXPECT_TRUE(store.setCastMode(2));
    EXPECT_TRUE(store.setBitRate(3));
    EXPECT_TRUE(store.setFrameRate(0));
    EXPECT_TRUE(store.setResolution(3));

    EXPECT_EQ(storedText("recordCfg/autoRecord"), "1");
    EXPECT_EQ(storedText("recordCfg/fileSavePath"), "/tmp/videos here");
    EXPECT_EQ(storedText("recordCfg/recordQuality"), "2");
    EXPECT_EQ(storedText("recordCfg/audioSource"), "0");
    EXPECT_EQ(storedText("castCfg/castMode"), "2");
    EXPECT_EQ(storedText("castCfg/bitRate"), "3");
    EXPECT_EQ(storedText("castCfg/frameRate"), "0");
    EXPECT_EQ(storedText("castCfg/resolution"), "3");
    EXPECT_TRUE(fileLines().contains("bitRate=3"));
    EXPECT_TRUE(fileLines().contains("autoRecord=1"));
    EXPECT_EQ(readAll(autostartFile()), entryBefore);

    EXPECT_TRUE(store.setAutoRecord(false));
    EXPECT_TRUE(fileLines().contains("autoRecord=0"));

    ConfigValues expected;
    expected.fileSavePath = "/tmp/videos here";
    expected.recordQuality = 2;
    expected.castMode = 2;
    expected.bitRate = 3;
    expected.frameRate = 0;
    expected.resolution = 3;
    expectValues(store.values(), expected);

    // What was written is what the next store loads.
    ConfigStore reopened;
    expectValues(reopened.values(), expected);
}

TEST_F(ConfigStoreTest, StartOnBootSetterWritesOnlyTheAutostartEntry)
{
    ConfigStore store;
    const QByteArray fileBefore = readAll(configFile());

    EXPECT_TRUE(store.setStartOnBoot(true));
    EXPECT_TRUE(store.values().startOnBoot);
    EXPECT_TRUE(vantor::readStartOnBoot());
    EXPECT_EQ(readAll(configFile()), fileBefore);

    EXPECT_TRUE(store.setStartOnBoot(false));
    EXPECT_FALSE(vantor::readStartOnBoot());
    EXPECT_TRUE(QFileInfo::exists(autostartFile()));
    EXPECT_EQ(readAll(configFile()), fileBefore);
}

TEST_F(ConfigStoreTest, CastModePresetsWriteTheirThreeKeysAndReload)
{
    struct Case {
        int mode;
        const char* bitRate;
        const char* frameRate;
        const char* resolution;
    };
    const Case cases[] = {{1, "2", "1", "2"}, {2, "0", "0", "1"}, {0, "0", "1", "1"}};

    ConfigStore store;
    QSignalSpy loads(&store, &ConfigStore::loaded);
    DebugLines debug;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        EXPECT_TRUE(store.setCastMode(c.mode));
        store.applyCastModePreset(c.mode);
        EXPECT_EQ(storedText("castCfg/castMode"), QString::number(c.mode));
        EXPECT_EQ(storedText("castCfg/bitRate"), c.bitRate);
        EXPECT_EQ(storedText("castCfg/frameRate"), c.frameRate);
        EXPECT_EQ(storedText("castCfg/resolution"), c.resolution);
        EXPECT_EQ(store.values().bitRate, QString(c.bitRate).toInt());
        EXPECT_EQ(store.values().frameRate, QString(c.frameRate).toInt());
        EXPECT_EQ(store.values().resolution, QString(c.resolution).toInt());
        EXPECT_TRUE(DebugLines::lines().contains("  activated " + QString::number(c.mode)));
    }
    EXPECT_EQ(loads.count(), 3);
}

TEST_F(ConfigStoreTest, PresetFollowsTheStoredCastModeAndReloadsAnEditedFile)
{
    ConfigStore store;
    EXPECT_TRUE(store.setCastMode(1));
    // A hand edit made while running is seen at the reload the preset ends with.
    QSettings(configFile(), QSettings::IniFormat).setValue("recordCfg/recordQuality", "1");
    store.applyCastModePreset(1);
    EXPECT_EQ(store.values().recordQuality, 1);
    EXPECT_EQ(storedText("castCfg/bitRate"), "2");
}

TEST_F(ConfigStoreTest, OutOfRangeCastModeSetsNothingButReloads)
{
    ConfigStore store;
    EXPECT_TRUE(store.setBitRate(3));
    EXPECT_TRUE(store.setFrameRate(2));
    EXPECT_TRUE(store.setResolution(3));
    for (const int mode : {3, -1}) {
        SCOPED_TRACE(mode);
        EXPECT_TRUE(store.setCastMode(mode));
        QSettings(configFile(), QSettings::IniFormat).setValue("recordCfg/audioSource", "7");
        const QByteArray before = readAll(configFile());
        QSignalSpy loads(&store, &ConfigStore::loaded);

        store.applyCastModePreset(mode);

        EXPECT_EQ(readAll(configFile()), before);
        EXPECT_EQ(loads.count(), 1);
        EXPECT_EQ(store.values().audioSource, 7);
        EXPECT_EQ(store.values().bitRate, 3);
        EXPECT_EQ(store.values().frameRate, 2);
        EXPECT_EQ(store.values().resolution, 3);
        QSettings(configFile(), QSettings::IniFormat).remove("recordCfg/audioSource");
    }
}

TEST_F(ConfigStoreTest, ResetToDefaultsRewritesTheFileAndSwitchesStartAtLoginOff)
{
    ConfigStore store;
    const QByteArray defaults = readAll(configFile());
    EXPECT_TRUE(store.setStartOnBoot(true));
    EXPECT_TRUE(store.setCastMode(1));
    store.applyCastModePreset(1);
    EXPECT_TRUE(store.setFileSavePath("/srv"));
    QSignalSpy loads(&store, &ConfigStore::loaded);

    store.resetToDefaults();

    EXPECT_EQ(readAll(configFile()), defaults);
    EXPECT_FALSE(vantor::readStartOnBoot());
    EXPECT_TRUE(QFileInfo::exists(autostartFile()));
    EXPECT_FALSE(store.values().startOnBoot);
    EXPECT_EQ(loads.count(), 1);
    ConfigValues expected;
    expected.fileSavePath = home() + "/Documents";
    expectValues(store.values(), expected);
}

TEST_F(ConfigStoreTest, SetDefaultsChangesOnlyTheInMemoryCopy)
{
    writeAll(configFile(), "[castCfg]\nbitRate=3\n");
    ConfigStore store;
    const QByteArray before = readAll(configFile());
    store.setDefaults();
    EXPECT_EQ(store.values().bitRate, 0);
    EXPECT_EQ(store.values().frameRate, 1);
    EXPECT_EQ(readAll(configFile()), before);
}

TEST_F(ConfigStoreTest, UnwritableFileIsReportedAndKeepsTheNewValueInMemory)
{
    // A directory where the file should be: nothing can be read from or written to it.
    ASSERT_TRUE(QDir().mkpath(configFile()));
    ConfigStore store;
    EXPECT_FALSE(store.setBitRate(2));
    EXPECT_EQ(store.values().bitRate, 2);
    EXPECT_FALSE(store.save(store.configFilePath()));
    EXPECT_TRUE(QFileInfo(configFile()).isDir());
}

TEST_F(ConfigStoreTest, MalformedLineInTheFileDoesNotMakeWritesReportAFailure)
{
    // Qt reports the stray control byte as a format error of the old content; the
    // values still go to disk and the file is clean afterwards.
    writeAll(configFile(), "\x02\n[castCfg]\nbitRate=3\n");
    ConfigStore store;
    EXPECT_TRUE(store.setFrameRate(2));
    EXPECT_EQ(storedText("castCfg/frameRate"), "2");
    writeAll(configFile(), "\x02\n[castCfg]\nbitRate=3\n");
    EXPECT_TRUE(store.save(store.configFilePath()));
    EXPECT_EQ(storedText("castCfg/frameRate"), "2");
    EXPECT_FALSE(readAll(configFile()).contains('\x02'));
}

TEST_F(ConfigStoreTest, ValueThatAsksForAnImpossibleListIsNeitherReadNorWritten)
{
    // "@Variant(" makes Qt deserialise the bytes: here a string list of 2^31 - 1
    // entries, whose memory Qt cannot get.
    const QByteArray content =
        "[castCfg]\nbitRate=3\nframeRate=@Variant(\\0\\0\\0\\xb\\x7f\\xff\\xff\\xff)\n";
    writeAll(configFile(), content);
    ConfigStore store;
    expectValues(store.values(), vantor::defaultConfigValues());
    EXPECT_FALSE(vantor::readCastQuality(configFile()).has_value());
    EXPECT_FALSE(store.setBitRate(2));
    EXPECT_FALSE(store.save(store.configFilePath()));
    EXPECT_EQ(readAll(configFile()), content);
}
