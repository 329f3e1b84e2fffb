// The settings page's configuration store: the in-memory copy of cfg.ini plus the
// start-at-login choice. Every setter writes its one value the moment a control
// changes; the file is opened and closed again for every read or write, so edits made
// by hand are seen at the next load. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

namespace vantor {

// Row indices of the settings page's controls, in the file's order.
struct ConfigValues {
    int language = 0;  // 0 中文, 1 Eng
    bool startOnBoot = false;
    bool autoRecord = false;
    QString fileSavePath;   // default: the user's Documents directory
    int recordQuality = 0;  // 0 高, 1 中, 2 低
    int audioSource = 0;    // 0 设备
    int castMode = 0;       // 0 自动, 1 画质优先, 2 码流优先
    int bitRate = 0;        // 0 自动 (4M), 1 6M, 2 8M, 3 10M
    int frameRate = 1;      // 0 20帧, 1 25帧, 2 30帧
    int resolution = 1;     // 0 标清, 1 高清, 2 1080P, 3 4K
};

ConfigValues defaultConfigValues();

class ConfigStore : public QObject {
    Q_OBJECT
public:
    // Picks the file, writes the defaults when it does not exist yet (creating the
    // directory), then loads it.
    explicit ConfigStore(QObject* parent = nullptr);

    const ConfigValues& values() const { return m_values; }
    const QString& configDirectory() const { return m_configDirectory; }
    const QString& configFilePath() const { return m_configFilePath; }

    // Reads every key (missing: 0 / false / empty) and the start-at-login choice. The
    // language is not kept: it goes back to 0, and to 0 in the file when it was not.
    // Emits loaded() so the page can show the values.
    void load(const QString& path);
    // Writes all nine keys and the start-at-login choice. False when anything failed.
    bool save(const QString& path);
    // Resets the in-memory copy only.
    void setDefaults();
    // setDefaults, save, load.
    void resetToDefaults();

    // One per control. Each stores its value and writes only its own key; a failed
    // write keeps the new value in memory and returns false.
    // Rows 0 and 1 write "0" / "1"; the in-memory language stays (it is 0 after a load).
    bool setLanguage(int row);
    bool setStartOnBoot(bool enabled);  // the start-at-login entry only, never the file
    bool setAutoRecord(bool enabled);
    bool setFileSavePath(const QString& path);
    bool setRecordQuality(int index);
    bool setAudioSource(int index);
    bool setCastMode(int index);
    bool setBitRate(int index);
    bool setFrameRate(int index);
    bool setResolution(int index);

    // The cast-mode combo's row picked by the user (after setCastMode stored it):
    // applies the preset of the stored cast mode through the three setters, then
    // reloads. A cast mode outside 0..2 sets nothing but still reloads.
    void applyCastModePreset(int index);

signals:
    void loaded();

private:
    bool writeKey(const char* key, const QString& text);

    ConfigValues m_values;
    QString m_configDirectory;
    QString m_configFilePath;
};

}  // namespace vantor
