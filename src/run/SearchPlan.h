#pragma once

#include "engine/BlockList.h"
#include "engine/FileReader.h"
#include "engine/Modes.h"
#include "engine/Needle.h"
#include "run/RunSink.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace run {

// How the workers write the rows of a file as UTF-8 text for a sink that takes them so: what
// the sink's textRows() tells, and whether each row starts with its file's path and a space.
struct RowText {
    TextRows rows;
    bool withPaths = false;

    // Returns the bytes that start each row of the file at path.
    std::string prefix(const QString &path) const
    {
        return withPaths ? rows.prefixBytes(path + u' ') : std::string();
    }
};

// What one search needs, made once from a run's request: the mode, the line counts of
// the X/Y mode, and the search text prepared for each kind of text a file can hold.
struct SearchPlan {
    // Builds the plan for a search text, taken as a regular expression when regex is set; a
    // mode of nothing, or a pattern that does not compile, finds no blocks.
    SearchPlan(std::optional<engine::Mode> mode, std::u16string_view searchText, bool matchCase,
               int x, int y, bool regex = false);

    std::optional<engine::Mode> mode;
    bool matchCase = false;
    int x = 1;
    int y = 1;
    // For Windows-1252 text.
    engine::Needle windows1252;
    // For UTF-8 text, when its bytes can be searched as they are.
    std::optional<engine::Needle> utf8;
    // For UTF-16 text (and UTF-8 text the bytes cannot serve).
    engine::WideNeedle wide;
    // Whether the search text is a regular expression; its lines are then matched as
    // characters (UTF-8 text as UTF-16 unless the pattern's required text narrows the bytes).
    bool regex = false;
    // The compiled pattern and its narrowing searches, for every kind of text.
    engine::PatternSearch pattern;
    // Why the search text is no valid pattern, when it is not.
    std::optional<engine::Pattern::Error> patternError;
    // Whether the blocks' lines are numbered.
    bool numberLines = true;
};

// The blocks of every piece of one file. The blocks' lines point into the file's text, or,
// once keepOnlyRows() let the text go, into the copies of those lines the object holds.
struct FileBlocks {
    engine::FileText text;
    std::vector<engine::BlockList> bytePieces;     // when the text is bytes
    std::vector<engine::WideBlockList> widePieces; // when it is UTF-16
    bool patternGaveUp = false;                    // the pattern gave up on some line of the file
    bool rowsLost = false;                         // memory ran out for the rows: none are kept
    // What the text was, which stays known when the text is let go.
    size_t pieceCount = 1;
    engine::Encoding encoding = engine::Encoding::Windows1252;
    bool wide = false;
    bool textKept = true;
    // The number of the text's first line: 1, or for a later part of a stream the line after
    // the parts before it.
    uint64_t firstLine = 1;
    // Whether lines are numbered at all; without, every line stands for line 0.
    bool numbering = true;

    // Notes what the text is (its pieces, encoding and width), which stays known once the text
    // goes; reading and searching call it.
    void noteText();
    // Numbers the lines, copies the lines of every block aside and lets the text go: a worker
    // hands on only the rows of a file, and reuses the file's memory while it is still in the
    // processor's cache. Returns false when the text was mapped and the file lost bytes meanwhile
    // (see engine::FileText::intact()): then the rows may hold zeros, and the file wants reading
    // again.
    // With rowText set, the rows of each byte piece are instead written as it says, with
    // the prefix of the file at path, and the piece's blocks are let go.
    bool keepOnlyRows(const RowText *rowText = nullptr, const QString &path = QString());
    // Gives the blocks' lines and matching lines their numbers in the file, counted across
    // the pieces; keepOnlyRows() does it while the text is there.
    void numberLines();
    // Numbers the blocks of piece p, just searched, and those of the pieces before it, when it
    // holds blocks; blocks searched again after the text settled are numbered again.
    void numberPiece(size_t p);
    // Forgets the numbering so far, for blocks searched again.
    void restartNumbering();
    // Lets the blocks go to this thread's files to come, which take their memory rather than
    // ask for their own: the file's rows are no longer wanted, or live apart from them.
    void spareBlocks();
    // Returns the number of the line after the text's end, while the text is there (the first
    // line's, when lines are not numbered).
    uint64_t lineAfter() const;
    // Returns how much memory the text, the blocks and the copied lines take.
    size_t heldBytes() const;
    // Returns true when the copied lines of byte piece p are there to take and hold one
    // byte a character: Windows-1252 text, or UTF-8 lines of ASCII only.
    bool rowsOneByteEach(size_t p) const;
    // Returns true when the copied lines of byte piece p are there to take and are UTF-8 whose
    // every character is ASCII or from U+00A0 to U+00FF, which Windows-1252 holds as one byte.
    bool rowsNarrowable(size_t p) const;
    // Narrows the copied lines of byte piece p, where rowsNarrowable(p), into Windows-1252
    // bytes in place, end to end; returns them. The blocks' lines no longer fit them then.
    std::vector<std::string_view> narrowRows(size_t p);
    // Returns true when byte piece p's rows were written as text, to take with takeRows().
    bool rowsAsText(size_t p) const;
    // Returns the size of byte piece p's rows written as text, and how many rows they are.
    size_t textSize(size_t p) const;
    size_t textRowCount(size_t p) const;
    // Takes the copied lines of byte piece p, end to end in the order of its blocks' lines,
    // which keep pointing at them.
    engine::OwnedBytes takeRows(size_t p);

private:
    // Numbers the pieces from the first not numbered yet up to end.
    void numberThrough(size_t end);

    size_t m_numbered = 0;   // the pieces numbered so far
    uint64_t m_nextLine = 1; // the number of the line that starts the next piece
    struct PieceRows {
        engine::OwnedBytes bytes;
        bool oneByteEach = false;
        bool narrowable = false;
        bool asText = false;
        size_t textSize = 0;
        size_t textRows = 0;
    };
    std::vector<PieceRows> m_pieceRows;     // for byte pieces
    std::unique_ptr<char16_t[]> m_rowUnits; // for UTF-16 pieces
    size_t m_rowSize = 0;
};

// Searches every piece of a file's text with the plan, and settles an unsettled text (see
// engine::FileText::settle()); UTF-8 text the plan's bytes cannot serve is widened first. A set
// stop flag ends the search between pieces (and between the lines a pattern tries).
void searchFile(const SearchPlan &plan, FileBlocks &file, const std::atomic<bool> *stop);

} // namespace run
