#include "ListSink.h"

#include "platform/ListModel.h"

namespace cli {

ListSink::ListSink(platform::ListModel &list, std::function<void(const QString &)> onNextFile)
    : m_list(list), m_onNextFile(std::move(onNextFile))
{
}

void ListSink::fileBegun(qsizetype file, const QString &path)
{
    // Files come in order; a folder's files come past the request's paths.
    if (file >= m_paths.size())
        m_paths.resize(file + 1);
    m_paths[file] = path;
    if (m_onNextFile)
        m_onNextFile(path);
}

const QString &ListSink::pathOf(qsizetype file) const
{
    static const QString none;
    return file >= 0 && file < m_paths.size() ? m_paths.at(file) : none;
}

void ListSink::progress(int, const QString &)
{
}

void ListSink::addRow(const QString &prefix, QStringView text, run::RowSource source)
{
    m_list.appendDeferred(prefix, text, pathOf(source.file), source.line,
                          run::memberOrNone(source.member));
}

void ListSink::addRowWindows1252(const QString &prefix, std::string_view bytes,
                                 run::RowSource source)
{
    m_list.appendDeferredWindows1252(prefix, bytes, pathOf(source.file), source.line,
                                     run::memberOrNone(source.member));
}

void ListSink::adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                    std::span<const std::string_view> rows, qsizetype file,
                                    std::span<const uint64_t> lines,
                                    const platform::PackedMember *member)
{
    m_list.adoptDeferredWindows1252(prefix, std::move(bytes), rows, pathOf(file), lines,
                                    run::memberOrNone(member));
}

} // namespace cli
