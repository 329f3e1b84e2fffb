#include "Setting/configstore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QtDebug>
#include <iterator>

#include "Comm/utility.h"
#include "Setting/configkeys.h"
#include "Setting/configpath.h"
#include "Setting/inifile.h"
#include "Setting/startonboot.h"

namespace vantor {

namespace {

// Every value goes to the file as text: integers in decimal, booleans "1" / "0".
QString asText(int value) { return QStringLiteral("%1").arg(value, 0, 10); }

QString asText(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }

struct CastPreset {
    int bitRate;
    int frameRate;
    int resolution;
};

// By cast mode: 自动, 画质优先, 码流优先.
constexpr CastPreset kCastPresets[] = {
    {0, 1, 1},
    {2, 1, 2},
    {0, 0, 1},
};

// After sync: a malformed line in the old file shows as a format error although
// every value went to disk; only an access error means the write failed.
bool written(const QSettings& file) { return file.status() != QSettings::AccessError; }

}  // namespace

ConfigValues defaultConfigValues()
{
    ConfigValues values;
    values.fileSavePath = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return values;
}

ConfigStore::ConfigStore(QObject* parent)
    : QObject(parent),
      m_configDirectory(vantor::configDirectory()),
      m_configFilePath(vantor::configFilePath())
{
    setDefaults();
    if (!Utility::isFileExist(m_configFilePath)) {
        Utility::confirmDirExist(m_configDirectory);
        save(m_configFilePath);
    }
    load(m_configFilePath);
}

void ConfigStore::setDefaults() { m_values = defaultConfigValues(); }

void ConfigStore::load(const QString& path)
{
    {
        const bool plain = iniFileIsPlain(path);
        const QSettings file(path, QSettings::IniFormat);
        const bool readable = plain && file.status() == QSettings::NoError;
        if (readable) {
            m_values.language = file.value(configkey::kLanguage).toInt();
        }
        m_values.startOnBoot = readStartOnBoot();
        if (readable) {
            m_values.autoRecord = file.value(configkey::kAutoRecord).toBool();
            m_values.fileSavePath = file.value(configkey::kFileSavePath).toString();
            m_values.recordQuality = file.value(configkey::kRecordQuality).toInt();
            m_values.audioSource = file.value(configkey::kAudioSource).toInt();
            m_values.castMode = file.value(configkey::kCastMode).toInt();
            m_values.bitRate = file.value(configkey::kBitRate).toInt();
            m_values.frameRate = file.value(configkey::kFrameRate).toInt();
            m_values.resolution = file.value(configkey::kResolution).toInt();
        } else {
            qDebug() << "cannot read" << path;  // the in-memory values stay as they are
        }
    }
    // The page always starts in Chinese; a stored English choice is put back.
    const bool languageWasChanged = m_values.language != 0;
    m_values.language = 0;
    if (languageWasChanged) {
        setLanguage(0);
    }
    emit loaded();
}

bool ConfigStore::save(const QString& path)
{
    if (!iniFileIsPlain(path)) {
        qDebug() << "cannot write" << path;
        writeStartOnBoot(m_values.startOnBoot);
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    file.setValue(configkey::kLanguage, asText(m_values.language));
    file.setValue(configkey::kAutoRecord, asText(m_values.autoRecord));
    file.setValue(configkey::kFileSavePath, m_values.fileSavePath);
    file.setValue(configkey::kRecordQuality, asText(m_values.recordQuality));
    file.setValue(configkey::kAudioSource, asText(m_values.audioSource));
    file.setValue(configkey::kCastMode, asText(m_values.castMode));
    file.setValue(configkey::kBitRate, asText(m_values.bitRate));
    file.setValue(configkey::kFrameRate, asText(m_values.frameRate));
    file.setValue(configkey::kResolution, asText(m_values.resolution));
    const bool startOnBootWritten = writeStartOnBoot(m_values.startOnBoot);
    file.sync();
    if (!written(file)) {
        qDebug() << "cannot write" << path;
        return false;
    }
    return startOnBootWritten;
}

void ConfigStore::resetToDefaults()
{
    setDefaults();
    save(m_configFilePath);
    load(m_configFilePath);
}

bool ConfigStore::writeKey(const char* key, const QString& text)
{
    if (!iniFileIsPlain(m_configFilePath)) {
        qDebug() << "cannot write" << key << "to" << m_configFilePath;
        return false;
    }
    QSettings file(m_configFilePath, QSettings::IniFormat);
    file.setValue(key, text);
    file.sync();
    if (!written(file)) {
        qDebug() << "cannot write" << key << "to" << m_configFilePath;
        return false;
    }
    return true;
}

bool ConfigStore::setLanguage(int row)
{
    if (row != 0 && row != 1) {
        return true;  // the list has two rows; nothing else is a choice
    }
    return writeKey(configkey::kLanguage, asText(row));
}

bool ConfigStore::setStartOnBoot(bool enabled)
{
    m_values.startOnBoot = enabled;
    return writeStartOnBoot(enabled);
}

bool ConfigStore::setAutoRecord(bool enabled)
{
    m_values.autoRecord = enabled;
    return writeKey(configkey::kAutoRecord, asText(enabled));
}

bool ConfigStore::setFileSavePath(const QString& path)
{
    m_values.fileSavePath = path;
    return writeKey(configkey::kFileSavePath, path);
}

bool ConfigStore::setRecordQuality(int index)
{
    m_values.recordQuality = index;
    return writeKey(configkey::kRecordQuality, asText(index));
}

bool ConfigStore::setAudioSource(int index)
{
    m_values.audioSource = index;
    return writeKey(configkey::kAudioSource, asText(index));
}

bool ConfigStore::setCastMode(int index)
{
    m_values.castMode = index;
    return writeKey(configkey::kCastMode, asText(index));
}

bool ConfigStore::setBitRate(int index)
{
    m_values.bitRate = index;
    return writeKey(configkey::kBitRate, asText(index));
}

bool ConfigStore::setFrameRate(int index)
{
    m_values.frameRate = index;
    return writeKey(configkey::kFrameRate, asText(index));
}

bool ConfigStore::setResolution(int index)
{
    m_values.resolution = index;
    return writeKey(configkey::kResolution, asText(index));
}

void ConfigStore::applyCastModePreset(int index)
{
    qDebug().noquote() << QStringLiteral("  activated ") + QString::number(index);
    const int mode = m_values.castMode;
    if (mode >= 0 && mode < static_cast<int>(std::size(kCastPresets))) {
        const CastPreset& preset = kCastPresets[mode];
        setBitRate(preset.bitRate);
        setFrameRate(preset.frameRate);
        setResolution(preset.resolution);
    }
    load(m_configFilePath);
}

}  // namespace vantor
