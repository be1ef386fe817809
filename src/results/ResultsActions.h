#pragma once

#include "platform/Services.h"

#include <QObject>
#include <QString>

namespace engine {
class ErrorReporter;
}

namespace platform {
class ListModel;
}

namespace results {

class ResultsView;

// The text filters of both lists and the results list's "Clear List".
class ResultsActions : public QObject {
    Q_OBJECT
public:
    ResultsActions(ResultsView &view, const platform::Services &services,
                   engine::ErrorReporter &reporter, platform::ListModel &results,
                   platform::ListModel &files, QObject *parent = nullptr);

    // Asks for a text and removes the results containing it.
    void removeResultsContaining();
    // Asks for a text and removes the results not containing it.
    void removeResultsNotContaining();
    // Asks for a text and removes the input files whose path contains it.
    void removeFilesContaining();
    // Asks for a text and removes the input files whose path does not contain it.
    void removeFilesNotContaining();
    // Removes every result at once.
    void clearResults();

private:
    void filter(platform::ListModel &list, const char *procedure, const QString &prompt,
                bool containing);

    ResultsView &m_view;
    platform::Services m_services;
    engine::ErrorReporter &m_reporter;
    platform::ListModel &m_results;
    platform::ListModel &m_files;
};

} // namespace results
