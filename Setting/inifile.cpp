#include "Setting/inifile.h"

#include <QFile>
#include <QtDebug>
#include <cstring>

namespace vantor {

namespace {

// Walks INI text the way Qt's INI reader cuts it into lines, values and list items,
// far enough to know how each item begins once unquoted and unescaped.
class IniScan {
public:
    explicit IniScan(const QByteArray& text) : text_(text.constData()), size_(text.size()) {}

    bool maySerialise()
    {
        for (int at = 0; at < size_;) {
            int equals = -1;
            const int end = cutLine(at, &equals);
            if (equals >= 0 && valueMaySerialise(equals + 1, end)) return true;
            at = end > at ? end : at + 1;
        }
        return false;
    }

private:
    char at(int i) const { return text_[i]; }

    // From `from`, the end of the line; *equals: its first "=" outside quotes. A
    // backslash hides the next byte, quotes hide line ends, ";" outside quotes ends
    // the line (a comment follows).
    int cutLine(int from, int* equals) const
    {
        bool quoted = false;
        for (int i = from; i < size_; ++i) {
            const char c = at(i);
            if (c == '\\') {
                i = pastEscapedLineEnd(i + 1) - 1;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && (c == '\n' || c == '\r' || c == ';')) {
                if (c == ';') {
                    while (i < size_ && at(i) != '\n' && at(i) != '\r') ++i;
                }
                return i;
            } else if (!quoted && c == '=' && *equals < 0) {
                *equals = i;
            }
        }
        return size_;
    }

    // Each list item of the value in [from, to): does one begin like "@Variant(" ?
    bool valueMaySerialise(int from, int to) const
    {
        bool quoted = false;
        bool itemStart = true;
        for (int i = from; i < to; ++i) {
            if (itemStart) {
                if (itemMaySerialise(i, to)) return true;
                itemStart = false;
            }
            const char c = at(i);
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (c == ',' && !quoted) {
                itemStart = true;
            }
        }
        return false;
    }

    // The item from i: spaces (outside quotes) and quotes are dropped, and escapes that
    // stand for nothing; then the first character it stands for decides.
    bool itemMaySerialise(int i, int to) const
    {
        bool quoted = false;
        while (i < to) {
            const char c = at(i);
            if (!quoted && (c == ' ' || c == '\t')) {
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
                ++i;
            } else if (c == ',' && !quoted) {
                return false;  // an empty item
            } else if (c == '\\') {
                if (i + 1 >= to) return false;
                const char e = at(i + 1);
                if (isHexEscape(i, to) || (e >= '0' && e <= '7')) {
                    int end = 0;
                    const int character = escapedCharacter(i, to, &end);
                    if (character < 0) return true;
                    return character == '@' && !isPlainForm(end);
                }
                if (e != 0 && std::strchr("abfnrtv\"?'\\", e) != nullptr) return false;
                i = pastEscapedLineEnd(i + 1);  // a line that goes on, or an escape Qt drops
            } else {
                return c == '@' && !isPlainForm(i + 1);
            }
        }
        return false;
    }

    // Just past the byte at i that a backslash escapes: "\r\n" and "\n\r" count as one.
    int pastEscapedLineEnd(int i) const
    {
        if (i >= size_) return i;
        const char c = at(i);
        if (i + 1 < size_ && ((c == '\n' && at(i + 1) == '\r') || (c == '\r' && at(i + 1) == '\n')))
            return i + 2;
        return i + 1;
    }

    bool isHexEscape(int i, int to) const
    {
        return i + 2 < to && at(i + 1) == 'x' && hexValue(at(i + 2)) >= 0;
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // The character of the escape "\x<hex>" or "\<octal>" at i, *end just past it; -1
    // when Qt may keep only part of a long number.
    int escapedCharacter(int i, int to, int* end) const
    {
        const bool hex = at(i + 1) == 'x';
        int j = i + (hex ? 2 : 1);
        quint32 value = 0;
        int digits = 0;
        while (j < to && (hex ? hexValue(at(j)) >= 0 : (at(j) >= '0' && at(j) <= '7'))) {
            value = value * (hex ? 16 : 8) + quint32(hexValue(at(j)));
            ++j;
            if (++digits > 4) return -1;
        }
        *end = j;
        return value <= 0xFFFF ? int(value) : -1;
    }

    // What may follow the "@" of an item that Qt reads without a stream: a doubled
    // "@" (plain text) and the forms it writes for text holding a zero character,
    // byte arrays, geometry and invalid values.
    bool isPlainForm(int afterAt) const
    {
        static const char* const forms[] = {"@",     "String(", "ByteArray(", "Invalid()",
                                            "Rect(", "Size(",   "Point("};
        for (const char* form : forms) {
            const int length = int(qstrlen(form));
            if (afterAt + length <= size_ && std::memcmp(text_ + afterAt, form, length) == 0)
                return true;
        }
        return false;
    }

    const char* const text_;
    const int size_;
};

}  // namespace

bool iniTextIsPlain(const QByteArray& text) { return !IniScan(text).maySerialise(); }

bool iniFileIsPlain(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return true;
    if (iniTextIsPlain(file.readAll())) return true;
    qDebug() << path << "holds a value Qt would deserialise: neither read nor written";
    return false;
}

}  // namespace vantor
