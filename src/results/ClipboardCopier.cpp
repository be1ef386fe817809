#include "ClipboardCopier.h"

#include "platform/Clipboard.h"
#include "platform/ListModel.h"
#include "platform/Yield.h"
#include "results/ListCells.h"

namespace results {

QString ClipboardCopier::clipboardText(const platform::ListModel &list, platform::Yield &yield)
{
    const std::vector<int> widths = ListCells::widths(list, false, yield);
    const int columns = int(widths.size());
    QString text;
    const int rows = list.count();
    for (int r = 0; r < rows; ++r) {
        yield.yield();
        if (!list.checked(r))
            continue;
        for (int k = 1; k <= columns; ++k) {
            const QString cell = ListCells::cell(list, r, k);
            text.append(cell);
            const int width = widths[size_t(k - 1)];
            if (width > cell.size())
                text.resize(text.size() + (width - cell.size()), QLatin1Char(' '));
            text.append(QLatin1Char('\t'));
        }
        // A list without columns has no tab to drop; the line then stays empty.
        if (columns > 0)
            text.chop(1);
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
            --end;
        text.truncate(end);
        text.append(QLatin1String("\r\n"));
    }
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
