#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

// How QSettings writes a text value, a key and a section name in an INI file, and reads
// them back.
class IniValue {
public:
    // Returns a text value as QSettings writes it after "key=": escapes, UTF-8, and quotes
    // where the value holds ";", "," or "=" or starts or ends with a blank.
    static QByteArray escaped(const QString &value);
    // Returns the text a value's bytes read as; none for a value that stands for no value.
    static std::optional<QString> unescaped(QByteArrayView bytes);
    // Returns a key or section name as the file holds it: "/" as "\", other characters
    // beyond ASCII letters, digits, "_", "-" and "." as %XX or %UXXXX.
    static QByteArray escapedKey(const QString &key);
    // Returns the key or section name a file's bytes stand for.
    static QString unescapedKey(QByteArrayView bytes);
};

} // namespace platform
