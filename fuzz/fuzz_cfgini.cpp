// cfg.ini as the program reads it: the input becomes the file, then the casting
// session's reader of the cast group and the settings page's store load it. Whatever
// the file holds, nothing may crash; a file with a value Qt would deserialise is
// neither read nor written, and in any other every value reads as text; any quality
// applied must come from the tables, the page must come up in Chinese (and put the
// language back to 0 in the file), and what the store writes back must read back as
// the same values.
//
// The files live in a sandbox under $TMPDIR: XDG_CONFIG_HOME and HOME point there.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

#include "Setting/castquality.h"
#include "Setting/configkeys.h"
#include "Setting/configstore.h"
#include "Setting/inifile.h"
#include "fuzz/fuzzcheck.h"

using vantor::CastQuality;
using vantor::ConfigStore;
using vantor::ConfigValues;

namespace {

QTemporaryDir* sandbox = nullptr;
ConfigStore* store = nullptr;

// Qt's settings cache takes a file of the same size and modification time as the one
// it read last for unchanged: every input gets a modification time of its own.
void writeFile(const QString& path, const uint8_t* data, size_t size)
{
    static long edits = 0;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    FUZZ_CHECK(fd >= 0);
    for (size_t done = 0; done < size;) {
        const ssize_t written = ::write(fd, data + done, size - done);
        FUZZ_CHECK(written > 0);
        done += size_t(written);
    }
    const timespec times[2] = {{1000000000 + ++edits, 0}, {1000000000 + edits, 0}};
    FUZZ_CHECK(::futimens(fd, times) == 0);
    ::close(fd);
}

bool inTable(int32_t value, std::initializer_list<int32_t> table)
{
    for (int32_t allowed : table)
        if (value == allowed) return true;
    return false;
}

void checkQuality(const CastQuality& quality)
{
    FUZZ_CHECK(inTable(quality.fps, {20, 25, 30}));
    FUZZ_CHECK(inTable(quality.bitrateMbps, {4, 6, 8, 10}));
    FUZZ_CHECK(inTable(quality.width, {640, 1280, 1920, 3840}));
}

void checkSameValues(const ConfigValues& a, const ConfigValues& b)
{
    FUZZ_CHECK(a.language == b.language);
    FUZZ_CHECK(a.startOnBoot == b.startOnBoot);
    FUZZ_CHECK(a.autoRecord == b.autoRecord);
    FUZZ_CHECK(a.fileSavePath == b.fileSavePath);
    FUZZ_CHECK(a.recordQuality == b.recordQuality);
    FUZZ_CHECK(a.audioSource == b.audioSource);
    FUZZ_CHECK(a.castMode == b.castMode);
    FUZZ_CHECK(a.bitRate == b.bitRate);
    FUZZ_CHECK(a.frameRate == b.frameRate);
    FUZZ_CHECK(a.resolution == b.resolution);
}

// The types Qt's INI reader makes without a data stream: text (also with a zero
// character), lists, byte arrays, geometry; invalid for an empty key.
bool readWithoutStream(const QVariant& value)
{
    switch (value.userType()) {
        case QMetaType::UnknownType:
        case QMetaType::QString:
        case QMetaType::QStringList:
        case QMetaType::QByteArray:
        case QMetaType::QRect:
        case QMetaType::QSize:
        case QMetaType::QPoint:
            return true;
        case QMetaType::QVariantList:
            for (const QVariant& item : value.toList())
                if (!readWithoutStream(item)) return false;
            return true;
        default:
            return false;
    }
}

uint32_t fnv1a(const uint8_t* data, size_t size)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

void removeSandbox()
{
    delete store;
    delete sandbox;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    sandbox = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/vantor-fuzz-cfg-XXXXXX"));
    FUZZ_CHECK(sandbox->isValid());
    qputenv("XDG_CONFIG_HOME", (sandbox->path() + QStringLiteral("/config")).toUtf8());
    qputenv("HOME", (sandbox->path() + QStringLiteral("/home")).toUtf8());
    // The settings page lives in the desktop program, a GUI application: a value
    // written as "@Variant(...)" may hold a GUI type (an image, a bitmap), which only
    // loads with one. Nothing is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: its platform plugin leaks when torn down at process exit.
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    Q_UNUSED(app);
    fuzz::silenceQtMessages();
    store = new ConfigStore;  // writes the defaults: the directory exists from here on
    std::atexit(removeSandbox);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = store->configFilePath();
    writeFile(path, data, size);

    if (!vantor::iniFileIsPlain(path)) {
        // Neither read nor written: the session applies nothing, the page keeps what
        // it showed.
        const ConfigValues before = store->values();
        FUZZ_CHECK(!vantor::readCastQuality(path).has_value());
        store->load(path);
        checkSameValues(store->values(), before);
        FUZZ_CHECK(!store->save(path));
        FUZZ_CHECK(!store->setBitRate(before.bitRate));
        return 0;
    }

    // In a plain file Qt decodes no value through a stream: had it decoded any into
    // a type it reads only that way, the check let a serialised value through.
    {
        const QSettings file(path, QSettings::IniFormat);
        for (const QString& key : file.allKeys()) FUZZ_CHECK(readWithoutStream(file.value(key)));
    }

    // A file Qt cannot parse reads as no file: the capture keeps its own defaults.
    const std::optional<CastQuality> quality = vantor::readCastQuality(path);
    if (quality) checkQuality(*quality);

    store->load(path);
    const ConfigValues loaded = store->values();
    FUZZ_CHECK(loaded.language == 0);
    {
        const QSettings file(path, QSettings::IniFormat);
        const QVariant language = file.value(QLatin1String(vantor::configkey::kLanguage));
        FUZZ_CHECK(!language.isValid() || language.toInt() == 0);
    }
    checkQuality(
        vantor::castQualityFromIndices(loaded.bitRate, loaded.frameRate, loaded.resolution));

    // What the store writes, it reads back unchanged; so does the session. Writing is
    // the slow part (two files synced to disk), so one input in eight takes this
    // path, always the same ones.
    if (fnv1a(data, size) % 8 != 0) return 0;
    FUZZ_CHECK(store->save(path));
    store->load(path);
    checkSameValues(store->values(), loaded);
    const std::optional<CastQuality> saved = vantor::readCastQuality(path);
    FUZZ_CHECK(saved.has_value());
    const CastQuality expected =
        vantor::castQualityFromIndices(loaded.bitRate, loaded.frameRate, loaded.resolution);
    FUZZ_CHECK(saved->fps == expected.fps && saved->bitrateMbps == expected.bitrateMbps &&
               saved->width == expected.width);
    return 0;
}
