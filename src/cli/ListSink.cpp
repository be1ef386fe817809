#include "ListSink.h"

#include "platform/ListModel.h"

namespace cli {

ListSink::ListSink(platform::ListModel &list, std::function<void()> onNextFile)
    : m_list(list), m_onNextFile(std::move(onNextFile))
{
}

void ListSink::progress(int, const QString &)
{
    if (m_onNextFile)
        m_onNextFile();
}

void ListSink::addRow(const QString &prefix, QStringView text)
{
    m_list.appendDeferred(prefix, text);
}

void ListSink::addRowWindows1252(const QString &prefix, std::string_view bytes)
{
    m_list.appendDeferredWindows1252(prefix, bytes);
}

void ListSink::adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                    std::span<const std::string_view> rows)
{
    m_list.adoptDeferredWindows1252(prefix, std::move(bytes), rows);
}

} // namespace cli
