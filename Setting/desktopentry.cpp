#include "Setting/desktopentry.h"

namespace vantor {

namespace {

const QString kGroupHeader = QStringLiteral("[Desktop Entry]");

bool isGroupHeader(const QString& line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

// The key of a "key=value" line; empty for comments, blank lines and headers.
QString keyOf(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || isGroupHeader(line)) {
        return QString();
    }
    const int equals = trimmed.indexOf(QLatin1Char('='));
    return equals <= 0 ? QString() : trimmed.left(equals).trimmed();
}

}  // namespace

DesktopEntry DesktopEntry::fromText(const QString& text)
{
    DesktopEntry entry;
    entry.m_lines = text.split(QLatin1Char('\n'));
    // A trailing newline leaves one empty element behind; toText() puts it back.
    if (!entry.m_lines.isEmpty() && entry.m_lines.last().isEmpty()) {
        entry.m_lines.removeLast();
    }
    for (QString& line : entry.m_lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
    }
    return entry;
}

DesktopEntry::Range DesktopEntry::group() const
{
    Range range;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].trimmed() == kGroupHeader) {
            range.header = i;
            break;
        }
    }
    if (range.header < 0) {
        return range;
    }
    range.end = range.header + 1;
    while (range.end < m_lines.size() && !isGroupHeader(m_lines[range.end])) {
        ++range.end;
    }
    return range;
}

int DesktopEntry::lineOf(const QString& key) const
{
    const Range range = group();
    for (int i = range.header + 1; range.header >= 0 && i < range.end; ++i) {
        if (keyOf(m_lines[i]) == key) {
            return i;
        }
    }
    return -1;
}

bool DesktopEntry::contains(const QString& key) const { return lineOf(key) >= 0; }

QString DesktopEntry::value(const QString& key) const
{
    const int line = lineOf(key);
    if (line < 0) {
        return QString();
    }
    const QString& text = m_lines[line];
    return text.mid(text.indexOf(QLatin1Char('=')) + 1).trimmed();
}

void DesktopEntry::setValue(const QString& key, const QString& value)
{
    const QString line = key + QLatin1Char('=') + value;
    const int existing = lineOf(key);
    if (existing >= 0) {
        m_lines[existing] = line;
        return;
    }
    Range range = group();
    if (range.header < 0) {
        m_lines.append(kGroupHeader);
        m_lines.append(line);
        return;
    }
    // After the group's last non-blank line, so blank separators stay between groups.
    int insertAt = range.end;
    while (insertAt > range.header + 1 && m_lines[insertAt - 1].trimmed().isEmpty()) {
        --insertAt;
    }
    m_lines.insert(insertAt, line);
}

QString DesktopEntry::toText() const { return m_lines.join(QLatin1Char('\n')) + QLatin1Char('\n'); }

QString desktopExecValue(const QString& programPath)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    static const QString escapedInQuotes = QStringLiteral("\"`$\\");

    QString argument = programPath;
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));  // '%' starts a field code

    bool needsQuotes = false;
    for (const QChar c : argument) {
        needsQuotes = needsQuotes || reserved.contains(c);
    }
    QString quoted;
    if (needsQuotes) {
        quoted += QLatin1Char('"');
        for (const QChar c : argument) {
            if (escapedInQuotes.contains(c)) {
                quoted += QLatin1Char('\\');
            }
            quoted += c;
        }
        quoted += QLatin1Char('"');
    } else {
        quoted = argument;
    }

    // The value is also a string value: its own escapes apply before the quoting, so
    // a backslash is doubled once more and control characters are spelled out.
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\')) {
            value += QStringLiteral("\\\\");
        } else if (c == QLatin1Char('\n')) {
            value += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\t')) {
            value += QStringLiteral("\\t");
        } else if (c == QLatin1Char('\r')) {
            value += QStringLiteral("\\r");
        } else {
            value += c;
        }
    }
    return value;
}

bool desktopBoolean(const QString& value)
{
    return value == QLatin1String("true") || value == QLatin1String("1");
}

}  // namespace vantor
