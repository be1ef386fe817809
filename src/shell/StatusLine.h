#pragma once

#include <QLabel>
#include <QTimer>

namespace platform {
class ListModel;
}

namespace shell {

// The line under the results list: how many rows the list holds and from how many files
// ("12,345 rows from 87 files"), followed for a while by a one-line note. The counts follow the
// list at most once an event pass, so rows that come in batches while a run goes cost only
// the files they bring.
class StatusLine : public QLabel {
    Q_OBJECT
public:
    StatusLine(const platform::ListModel &results, QWidget *parent = nullptr);
    // Shows a note after the counts; it goes after a quarter of a minute, or when the next one
    // comes.
    void showNote(const QString &note);
    // Returns the counts as shown, or nothing before the list first changed.
    const QString &counts() const { return m_counts; }

private:
    void countRows();
    void refresh();

    const platform::ListModel &m_results;
    QString m_counts;
    QString m_note;
    QTimer m_recount;
    QTimer m_noteTimer;
};

} // namespace shell
