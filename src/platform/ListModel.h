#pragma once

#include "platform/RowOrigin.h"
#include "platform/RowStore.h"

#include <QAbstractTableModel>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <string_view>
#include <vector>

namespace platform {

// The model both lists are made of: one column under a header, one text a row. Rows are
// addressed from 0; an index outside the list throws engine::Failure ("Index out of
// bounds"). Appends may be deferred and flushed in one batch, which keeps runs with millions
// of rows smooth; the rows are kept compactly (see RowStore).
class ListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListModel(QObject *parent = nullptr);

    // Sets the column's header.
    void setHeader(const QString &text);
    // Returns the column's header.
    const QString &header() const { return m_header; }

    // Returns the number of rows, deferred ones included.
    int count() const;
    // Appends a row at once and returns its position.
    int append(const QString &text);
    // Queues a row; it joins the list at the next flush(). Throws std::bad_alloc when memory
    // runs out; the list then stays as it was.
    void appendDeferred(const QString &text);
    // Starts a new section of rows, found by marks (see RowStore::startSection).
    void startSection(std::shared_ptr<const MatchMarks> marks);
    // Queues the row prefix + text, from line line of the file at path (or of its member's
    // text); consecutive rows with the same prefix and file keep them once.
    void appendDeferred(const QString &prefix, QStringView text, const QString &path = QString(),
                        uint64_t line = 0, const PackedMember &member = {});
    // Queues a row of prefix followed by Windows-1252 bytes, stored as they are.
    void appendDeferredWindows1252(const QString &prefix, std::string_view bytes,
                                   const QString &path = QString(), uint64_t line = 0,
                                   const PackedMember &member = {});
    // Queues rows of prefix followed by Windows-1252 bytes, taking over the memory they lie
    // in end to end (see RowStore::adoptWindows1252).
    void adoptDeferredWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                  std::span<const std::string_view> rows,
                                  const QString &path = QString(),
                                  std::span<const uint64_t> lines = {},
                                  const PackedMember &member = {});
    // Returns the number of queued rows.
    int deferredCount() const { return m_rows.size() - m_shown; }
    // Drops the queued rows.
    void dropDeferred();
    // Moves the queued rows into the list in one insertion. Throws std::bad_alloc, the rows
    // staying queued, when memory is too short for the views to take them; every reader
    // flushes first, so any of them may throw it too.
    void flush();
    // Returns the text of a row.
    QString text(int row) const;
    // Returns where a row came from; a row without an origin gives line 0.
    RowOrigin origin(int row) const;
    // Returns where text, the start of a row's text as shown, holds what found the row: the
    // stretches that match in its text after the row's prefix; none for a row the views do
    // not show yet. Views may ask while they paint: nothing is flushed.
    std::vector<TextSpan> marksIn(int row, QStringView text) const;
    // The role under which data() gives a row's line number (nothing for a row from no file).
    static constexpr int LineRole = Qt::UserRole;
    // Returns how many files the rows came from.
    int fileCount() const;
    // Returns the length of a row's text in UTF-16 code units.
    qsizetype textSize(int row) const;
    // Replaces the text of a row.
    void setText(int row, const QString &text);
    // Removes one row.
    void removeAt(int row);
    // Removes the given rows, given in any order, in as few model operations as possible.
    void removeRowsSorted(std::vector<int> rows);
    // Removes every row.
    void clear();
    // Returns all row texts in order (what a run reads from the file list).
    QStringList texts() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void check(int row) const;
    void flushPending() const;
    void recountFiles();

    QString m_header;
    // Rows past m_shown are deferred: they exist but the views have not heard of them yet.
    RowStore m_rows;
    mutable int m_shown = 0;
    // The files of the rows before m_filesCounted; removals start the count anew.
    mutable QSet<QString> m_files;
    mutable int m_filesCounted = 0;
};

} // namespace platform
