#pragma once

#include <QString>
#include <QStringView>
#include <string>

namespace results {

// Appends the UTF-8 bytes of a text to out. A lone surrogate becomes U+FFFD, so every
// export (the text file, the spreadsheet and the clipboard) gives it the same way.
void appendUtf8(QStringView text, std::string &out);

// Replaces each lone surrogate of a text by U+FFFD, as appendUtf8 writes it, for text that
// others encode (the clipboard).
void replaceLoneSurrogates(QString &text);

} // namespace results
