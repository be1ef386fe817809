#include "Utf8Text.h"

#include <QStringEncoder>

namespace results {

void appendUtf8(QStringView text, std::string &out)
{
    // Stateless: a high surrogate at the end is replaced, not kept back for a next call.
    QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    const size_t at = out.size();
    out.resize(at + size_t(encoder.requiredSpace(text.size())));
    char *end = encoder.appendToBuffer(out.data() + at, text);
    out.resize(size_t(end - out.data()));
}

void replaceLoneSurrogates(QString &text)
{
    const qsizetype n = text.size();
    const QChar *units = text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (!units[i].isSurrogate())
            continue;
        if (units[i].isHighSurrogate() && i + 1 < n && units[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        text[i] = QChar::ReplacementCharacter;
        units = text.constData();
    }
}

} // namespace results
