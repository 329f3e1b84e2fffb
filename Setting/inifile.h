// Qt turns a cfg.ini value that begins with "@Variant(" (or "@DateTime(") into an
// object of whatever type its bytes name, through that type's stream reader: a
// hand-edited value can ask for more memory than there is (Qt then throws
// std::bad_alloc out of QSettings, on reading and on every later write, which parses
// the whole file first) or crash the reader of an image type. We only ever store
// text, so a file holding such a value is not ours, and is neither read nor written.
#pragma once

#include <QByteArray>
#include <QString>

namespace vantor {

// False when an item of a value of the INI text may begin with a form Qt
// deserialises once it is unquoted and unescaped. Where Qt's reading is not obvious
// (very long escapes, an escape Qt drops followed by spaces), errs on the side of
// false.
bool iniTextIsPlain(const QByteArray& text);

// The same for the file at path; a missing or unreadable file is plain (QSettings
// reports those itself).
bool iniFileIsPlain(const QString& path);

}  // namespace vantor
