// Gives every test its own XDG_CONFIG_HOME and HOME under a fresh temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

class ConfigTestEnvironment : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sandbox.isValid());
        qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
        qputenv("HOME", home().toUtf8());
    }

    QString configHome() const { return QDir(m_sandbox.path()).filePath("config"); }
    QString home() const { return QDir(m_sandbox.path()).filePath("home"); }
    QString configFile() const { return configHome() + "/vantor/cfg.ini"; }
    QString autostartFile() const { return configHome() + "/autostart/vantor.desktop"; }

    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void writeAll(const QString& path, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.flush();
        // Qt's settings cache takes a file of the same size and modification time for
        // unchanged; hand edits in quick succession get distinct times.
        static int edits = 0;
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(++edits),
                                     QFileDevice::FileModificationTime));
    }

    // The raw text stored under the key, as another reader of the file sees it.
    QString storedText(const QString& key) const
    {
        return QSettings(configFile(), QSettings::IniFormat).value(key).toString();
    }

private:
    QTemporaryDir m_sandbox;
};
