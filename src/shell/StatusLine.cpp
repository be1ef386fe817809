#include "StatusLine.h"

#include "platform/ListModel.h"

#include <QLocale>

namespace shell {

namespace {

constexpr int kNoteMs = 15000;

// Returns a count with the locale's digit grouping ("12,345"), also in the C locale, which
// leaves the grouping out unless told.
QString grouped(qint64 count)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(count);
}

} // namespace

StatusLine::StatusLine(const platform::ListModel &results, QWidget *parent)
    : QLabel(parent), m_results(results)
{
    setObjectName(QStringLiteral("StatusBar1"));
    setAccessibleName(QStringLiteral("Status"));
    setTextFormat(Qt::PlainText);
    // A long note is cut at the list's edge rather than widening the window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setMinimumWidth(0);
    m_recount.setSingleShot(true);
    m_recount.setInterval(0);
    connect(&m_recount, &QTimer::timeout, this, [this] { countRows(); });
    const auto changed = [this] { m_recount.start(); };
    connect(&results, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&results, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&results, &QAbstractItemModel::modelReset, this, changed);
    m_noteTimer.setSingleShot(true);
    m_noteTimer.setInterval(kNoteMs);
    connect(&m_noteTimer, &QTimer::timeout, this, [this] {
        m_note.clear();
        refresh();
    });
}

void StatusLine::showNote(const QString &note)
{
    m_note = note;
    m_noteTimer.start();
    refresh();
}

void StatusLine::countRows()
{
    const int rows = m_results.count();
    const int files = m_results.fileCount();
    m_counts = (rows == 1 ? QStringLiteral("1 row") : grouped(rows) + QStringLiteral(" rows")) +
               QStringLiteral(" from ") +
               (files == 1 ? QStringLiteral("1 file") : grouped(files) + QStringLiteral(" files"));
    refresh();
}

void StatusLine::refresh()
{
    QString line = m_counts;
    if (!m_note.isEmpty())
        line += (line.isEmpty() ? QString() : QStringLiteral(" \u2014 ")) + m_note;
    if (text() != line)
        setText(line);
}

} // namespace shell
