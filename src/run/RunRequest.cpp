#include "RunRequest.h"

#include "engine/Pattern.h"
#include "engine/Steps.h"
#include "platform/SettingsStore.h"

namespace run {

int storedLineCount(const QString &stored)
{
    const int count = platform::settingToInt(stored);
    if (count < -1 || count > kMostLines)
        throw engine::Failure("Invalid property value");
    return count;
}

std::optional<QString> patternProblem(const RunRequest &request)
{
    if (!request.regex)
        return std::nullopt;
    const QString &text = request.searchText;
    engine::Pattern::Error error;
    const auto pattern = engine::Pattern::compile(
        std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size())),
        request.matchCase, error);
    if (pattern)
        return std::nullopt;
    return QStringLiteral("The search text is not a valid regular expression: %1 at offset %2.")
        .arg(QString::fromStdString(error.message))
        .arg(error.offset);
}

} // namespace run
