// The [Desktop Entry] group of a .desktop file, edited in place: lines we do not
// touch (comments, other keys, other groups) are written back as they were.
#pragma once

#include <QString>
#include <QStringList>

namespace vantor {

class DesktopEntry {
public:
    static DesktopEntry fromText(const QString& text);

    // The raw value (surrounding blanks removed); empty when the key is absent.
    QString value(const QString& key) const;
    bool contains(const QString& key) const;

    // Replaces the key in the group, or appends it to the group (creating the group
    // when the text has none).
    void setValue(const QString& key, const QString& value);

    QString toText() const;

private:
    struct Range {
        int header = -1;  // index of the "[Desktop Entry]" line, -1 when absent
        int end = 0;      // one past the group's last line
    };
    Range group() const;
    int lineOf(const QString& key) const;

    QStringList m_lines;
};

// The Exec value that runs the program without arguments: quoted when the path holds
// a reserved character, with the escapes the Desktop Entry format asks for.
QString desktopExecValue(const QString& programPath);

// Booleans as GLib reads them: "true" or "1".
bool desktopBoolean(const QString& value);

}  // namespace vantor
