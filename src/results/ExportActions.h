#pragma once

#include "platform/Services.h"

#include <QObject>
#include <QString>

namespace engine {
class ErrorReporter;
class Steps;
} // namespace engine

namespace platform {
class ListModel;
}

namespace results {

class ResultsView;
class SpreadsheetWriter;

// The three exports of the results list: text file, clipboard and spreadsheet.
class ExportActions : public QObject {
    Q_OBJECT
public:
    ExportActions(ResultsView &view, const platform::Services &services,
                  engine::ErrorReporter &reporter, platform::ListModel &results,
                  QObject *parent = nullptr);

    // Asks for a file name (and about overwriting) and saves the results as aligned text.
    void saveAsText();
    // Puts the results on the clipboard and says so.
    void copyResults();
    // Writes the results into a new workbook in the spreadsheet folder and opens it.
    void saveAsSpreadsheet();

    // Sets the folder new workbooks go to; empty (the default) means $TMPDIR, else /tmp. A
    // folder that does not exist is reported, never replaced by the current folder.
    void setSpreadsheetFolder(const QString &folder) { m_spreadsheetFolder = folder; }
    // Returns the path of the workbook written last, empty before the first.
    const QString &lastWorkbook() const { return m_lastWorkbook; }

private:
    bool spreadsheetAppInstalled();
    void showMessage(const QString &text);
    // The spreadsheet export's parts: a new workbook in the temporary folder, filled from the
    // results and shown; and the messages on what did not fit.
    void createWorkbook(SpreadsheetWriter &writer);
    bool fillWorkbook(engine::Steps &steps, SpreadsheetWriter &writer);
    void tellWhatDidNotFit(engine::Steps &steps, const SpreadsheetWriter &writer);

    ResultsView &m_view;
    platform::Services m_services;
    engine::ErrorReporter &m_reporter;
    platform::ListModel &m_results;
    QString m_spreadsheetFolder;
    QString m_lastWorkbook;
};

} // namespace results
