#include "PackedCopy.h"

#include "engine/MemberText.h"
#include "engine/PackedReader.h"
#include "engine/Steps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <memory>
#include <optional>
#include <string>

namespace results {

namespace {

// Bytes written at a time.
constexpr size_t kBlock = size_t(256) << 10;
// The free space is looked at again after so many bytes: far fewer than any spare space
// asked for, so a copy that would fill the disk stops well before it does.
constexpr qint64 kCheckEvery = qint64(16) << 20;

std::string native(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

[[noreturn]] void fail(const QString &description)
{
    throw engine::Failure(description.toStdString());
}

// Returns the reader moved onto the member: the one at its place when it still has its name,
// else (the archive changed since the run) the first member of that name.
std::unique_ptr<engine::PackedReader> readerAt(const PackedCopy &copy)
{
    const std::string name = copy.member.name.toStdString();
    auto reader =
        std::make_unique<engine::PackedReader>(engine::PackedReader::File{native(copy.source)});
    int place = 0;
    for (std::optional<engine::PackedReader::Member> next; (next = reader->nextMember()); ++place) {
        if (place == copy.member.index) {
            if (next->name != name)
                break;
            if (!next->problem.empty())
                fail(QString::fromStdString(next->problem));
            return reader;
        }
    }
    reader =
        std::make_unique<engine::PackedReader>(engine::PackedReader::File{native(copy.source)});
    while (std::optional<engine::PackedReader::Member> next = reader->nextMember()) {
        if (next->name != name)
            continue;
        if (!next->problem.empty())
            fail(QString::fromStdString(next->problem));
        return reader;
    }
    fail(QStringLiteral("The member ") + copy.member.name +
         QStringLiteral(" is no longer in the archive"));
}

// Fails when writing more bytes would leave less than the spare space on the folder's disk.
void checkSpace(QStorageInfo &storage, const PackedCopy &copy, qint64 more)
{
    storage.refresh();
    const qint64 available = storage.bytesAvailable();
    if (storage.isValid() && available >= 0 && available - more >= copy.spareBytes)
        return;
    fail(QStringLiteral("Too little free space is left in ") + copy.folder +
         QStringLiteral(" (%1 MiB must stay free)").arg(copy.spareBytes >> 20));
}

// Removes the copy being written unless it was finished.
struct PartialCopy {
    QFile file;
    bool finished = false;
    ~PartialCopy()
    {
        if (!finished && file.exists())
            file.remove();
    }
};

} // namespace

QString copyName(const QString &source, const QString &member, bool decompressed)
{
    QString name = member.isEmpty() ? QFileInfo(source).fileName() : member.section(u'/', -1);
    if (member.isEmpty() || decompressed) {
        for (const char *suffix : {".gz", ".xz", ".bz2", ".zst", ".lz4", ".lzma"}) {
            if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) {
                name.chop(qsizetype(qstrlen(suffix)));
                break;
            }
        }
    }
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("text");
    return name;
}

QString writePackedCopy(const PackedCopy &copy, const std::atomic<bool> &stop)
{
    std::unique_ptr<engine::PackedReader> reader = readerAt(copy);
    engine::MemberText text(*reader);
    QStorageInfo storage(copy.folder);
    checkSpace(storage, copy, 0);
    PartialCopy partial;
    partial.file.setFileName(
        QDir(copy.folder).filePath(copyName(copy.source, copy.member.name, text.decompressed())));
    if (!partial.file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        fail(partial.file.errorString());
    std::string block(kBlock, '\0');
    qint64 sinceCheck = 0;
    while (const size_t got = text.read(block.data(), block.size())) {
        if (stop.load(std::memory_order_relaxed))
            fail(QStringLiteral("The copy was stopped"));
        sinceCheck += qint64(got);
        if (sinceCheck >= kCheckEvery) {
            checkSpace(storage, copy, kCheckEvery);
            sinceCheck = 0;
        }
        if (partial.file.write(block.data(), qint64(got)) != qint64(got))
            fail(partial.file.errorString());
    }
    if (!partial.file.flush())
        fail(partial.file.errorString());
    partial.file.close();
    if (!partial.file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther))
        fail(partial.file.errorString());
    partial.finished = true;
    return partial.file.fileName();
}

} // namespace results
