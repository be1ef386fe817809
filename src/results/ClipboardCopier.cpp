#include "ClipboardCopier.h"

#include "platform/Clipboard.h"
#include "platform/ListModel.h"
#include "platform/Yield.h"
#include "results/Utf8Text.h"

namespace results {

QString ClipboardCopier::clipboardText(const platform::ListModel &list, platform::Yield &yield)
{
    const RowRange all{0, list.count() - 1};
    return clipboardText(list, std::span(&all, 1), yield);
}

QString ClipboardCopier::clipboardText(const platform::ListModel &list,
                                       std::span<const RowRange> rows, platform::Yield &yield)
{
    // One line a row, without the blanks at its end; a lone surrogate becomes U+FFFD, as in
    // the other exports.
    QString text;
    // Sized once: growing by doubling would copy the text and touch fresh memory each time.
    qsizetype size = 0;
    for (const RowRange &range : rows)
        for (int r = range.first; r <= range.last; ++r)
            size += list.textSize(r) + 2;
    text.reserve(size);
    for (const RowRange &range : rows)
        for (int r = range.first; r <= range.last; ++r) {
            yield.yield();
            const QString row = list.text(r);
            qsizetype end = row.size();
            while (end > 0 && row.at(end - 1) == QLatin1Char(' '))
                --end;
            text.append(QStringView(row).first(end));
            text.append(QLatin1String("\r\n"));
        }
    replaceLoneSurrogates(text);
    return text;
}

ClipboardCopier::Outcome ClipboardCopier::copyToClipboard(const platform::ListModel &list,
                                                          platform::Clipboard &clipboard,
                                                          platform::Yield &yield)
{
    if (list.count() == 0)
        return Outcome::EmptyList;
    const QString text = clipboardText(list, yield);
    clipboard.clear();
    return setTextWithRetry(clipboard, text) ? Outcome::Copied : Outcome::Refused;
}

bool ClipboardCopier::setTextWithRetry(platform::Clipboard &clipboard, const QString &text)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt)
        if (clipboard.setText(text))
            return true;
    return false;
}

} // namespace results
