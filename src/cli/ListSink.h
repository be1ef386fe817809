#pragma once

#include "run/RunSink.h"

#include <functional>

namespace platform {
class ListModel;
}

namespace cli {

// Keeps a run's rows in a list, as the window's results list holds them, for the exports to
// write. A row that does not fit in memory throws std::bad_alloc, which stops the run.
class ListSink : public run::RunSink {
public:
    // Fills list; onNextFile runs as the run turns to each file.
    ListSink(platform::ListModel &list, std::function<void()> onNextFile);

    void progress(int value, const QString &caption) override;
    void addRow(const QString &prefix, QStringView text) override;
    void addRowWindows1252(const QString &prefix, std::string_view bytes) override;
    void adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                              std::span<const std::string_view> rows) override;

private:
    platform::ListModel &m_list;
    std::function<void()> m_onNextFile;
};

} // namespace cli
