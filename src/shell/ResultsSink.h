#pragma once

#include "platform/ListModel.h"
#include "run/RunRequest.h"
#include "run/RunSink.h"

#include <QElapsedTimer>
#include <functional>
#include <memory>

namespace shell {

// The results list as the sink of the window's runs. Rows are queued and join the list in
// batches at the window's event pumps; memory is held back beside them, so the rows found
// so far can always be shown, and the failure reported, when memory runs out.
class ResultsSink : public run::RunSink {
public:
    // Queues rows for results; progress goes to showProgress.
    ResultsSink(platform::ListModel &results,
                std::function<void(int value, const QString &caption)> showProgress);
    ~ResultsSink() override;

    void progress(int value, const QString &caption) override;
    void addRow(const QString &prefix, QStringView text, run::RowSource source) override;
    void addRowWindows1252(const QString &prefix, std::string_view bytes,
                           run::RowSource source) override;
    void adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                              std::span<const std::string_view> rows, qsizetype file,
                              std::span<const uint64_t> lines,
                              const platform::PackedMember *member) override;

    // Prepares for the run of a request (memory may be tried again, its rows start a section
    // of their own) and shows the rows still queued.
    void beginRun(const run::RunRequest &request);
    // Shows every queued row. Rows the views have no room for are dropped rather than left
    // for any reader to show, and the first such loss of a run throws engine::Failure
    // ("Out of memory").
    void showAll();
    // Shows the queued rows once the screen interval has passed since they last were.
    void showWhenDue();

private:
    bool showQueued();
    const QString &pathOf(qsizetype file) const;
    void outOfMemory();
    bool holdSpareMemory(size_t more);
    template <typename Append> void appendGuarded(size_t rows, const Append &append);

    platform::ListModel &m_results;
    // The files of the current run, which rows name by position.
    QStringList m_paths;
    std::function<void(int, const QString &)> m_showProgress;
    QElapsedTimer m_sinceShown;
    // Set when a result row, or the views' room for it, could not be had; cleared at a start.
    bool m_outOfMemory = false;
    bool m_outOfMemoryReported = false;
    // Address space held back while rows are collected, given up when memory runs out.
    std::unique_ptr<char[]> m_spareMemory;
    size_t m_spareBytes = 0;
};

} // namespace shell
