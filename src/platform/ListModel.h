#pragma once

#include "platform/RowStore.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <string_view>
#include <vector>

namespace platform {

// The list control both lists are made of: column headers (text and width in twips) and rows
// with a text (first column), sub-items (further columns) and a check mark. Rows are
// addressed from 0 here; an index outside the list throws engine::Failure
// ("Index out of bounds"). Appends may be deferred and flushed in one batch, which keeps
// runs with millions of rows smooth; the rows are kept compactly (see RowStore).
class ListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Header {
        QString text;
        int widthTwips = 0;
    };

    explicit ListModel(QObject *parent = nullptr);

    // Adds a column header and returns its position.
    int addColumn(const QString &text, int widthTwips = 1440);
    // Sets the width of a column, in twips.
    void setColumnWidth(int column, int widthTwips);
    // Returns the headers in order.
    const std::vector<Header> &headers() const { return m_headers; }

    // Returns the number of rows, deferred ones included.
    int count() const;
    // Appends a row at once and returns its position.
    int append(const QString &text, bool checked = false);
    // Queues a row; it joins the list at the next flush(). Throws std::bad_alloc when memory
    // runs out; the list then stays as it was.
    void appendDeferred(const QString &text, bool checked = false);
    // Queues the row prefix + text; consecutive rows with the same prefix keep it once.
    void appendDeferred(const QString &prefix, QStringView text, bool checked);
    // Queues a row of prefix followed by Windows-1252 bytes, stored as they are.
    void appendDeferredWindows1252(const QString &prefix, std::string_view bytes, bool checked);
    // Queues rows of prefix followed by Windows-1252 bytes, taking over the memory they lie
    // in end to end (see RowStore::adoptWindows1252).
    void adoptDeferredWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                  std::span<const std::string_view> rows, bool checked);
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
    // Returns the length of a row's text in UTF-16 code units.
    qsizetype textSize(int row) const;
    // Replaces the text of a row.
    void setText(int row, const QString &text);
    // Returns sub-item k (from 1) of a row, empty when the row has fewer.
    QString subItem(int row, int k) const;
    // Returns the number of sub-items of a row.
    int subItemCount(int row) const;
    // Sets sub-item k (from 1) of a row, growing its sub-items as needed.
    void setSubItem(int row, int k, const QString &text);
    // Returns whether the row carries the check mark.
    bool checked(int row) const;
    // Sets the check mark of a row.
    void setChecked(int row, bool checked);
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

    std::vector<Header> m_headers;
    // Rows past m_shown are deferred: they exist but the views have not heard of them yet.
    RowStore m_rows;
    mutable int m_shown = 0;
};

} // namespace platform
