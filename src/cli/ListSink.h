#pragma once

#include "run/RunSink.h"

#include <QStringList>
#include <functional>

namespace platform {
class ListModel;
}

namespace cli {

// Keeps a run's rows in a list, as the window's results list holds them (each with its file
// and line), for the exports to write. A row that does not fit in memory throws
// std::bad_alloc, which stops the run.
class ListSink : public run::RunSink {
public:
    // Fills list with the rows of a run; onNextFile runs with its path as the run turns to each
    // file.
    ListSink(platform::ListModel &list, std::function<void(const QString &)> onNextFile);

    void fileBegun(qsizetype file, const QString &path) override;
    void progress(int value, const QString &caption) override;
    void addRow(const QString &prefix, QStringView text, run::RowSource source) override;
    void addRowWindows1252(const QString &prefix, std::string_view bytes,
                           run::RowSource source) override;
    void adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                              std::span<const std::string_view> rows, qsizetype file,
                              std::span<const uint64_t> lines,
                              const platform::PackedMember *member) override;

private:
    const QString &pathOf(qsizetype file) const;

    platform::ListModel &m_list;
    QStringList m_paths; // the run's files so far, by position
    std::function<void(const QString &)> m_onNextFile;
};

} // namespace cli
