#include "ZipMember.h"

#include <QFile>
#include <zlib.h>

#include <algorithm>

namespace results {

namespace {

quint32 little(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

} // namespace

bool zipMemberComplete(const QString &archive, const QByteArray &member, const QByteArray &ending)
{
    QFile file(archive);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 22)
        return false;
    const qint64 tailSize = std::min<qint64>(file.size(), 65557);
    file.seek(file.size() - tailSize);
    const QByteArray tail = file.read(tailSize);
    const qsizetype end = tail.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > tail.size())
        return false;
    const quint32 directorySize = little(tail, end + 12, 4);
    const quint32 directoryAt = little(tail, end + 16, 4);
    if (directoryAt == 0xFFFFFFFF)
        return true; // a 64-bit archive; not written by this program
    file.seek(directoryAt);
    const QByteArray directory = file.read(directorySize);
    for (qsizetype at = 0; at + 46 <= directory.size();) {
        const quint32 method = little(directory, at + 10, 2);
        const quint32 packed = little(directory, at + 20, 4);
        const quint32 size = little(directory, at + 24, 4);
        const quint32 nameLength = little(directory, at + 28, 2);
        const quint32 skip =
            nameLength + little(directory, at + 30, 2) + little(directory, at + 32, 2);
        const quint32 local = little(directory, at + 42, 4);
        if (directory.mid(at + 46, nameLength) != member) {
            at += 46 + skip;
            continue;
        }
        file.seek(local);
        const QByteArray header = file.read(30);
        if (header.size() < 30)
            return false;
        file.seek(local + 30 + little(header, 26, 2) + little(header, 28, 2));
        // Only the last bytes matter; the rest is counted.
        QByteArray last;
        quint64 total = 0;
        auto keep = [&](const char *data, size_t n) {
            total += n;
            last.append(data, qsizetype(n));
            if (last.size() > 4096)
                last.remove(0, last.size() - 64);
        };
        if (method == 0) {
            const QByteArray data = file.read(packed);
            keep(data.constData(), size_t(data.size()));
        } else if (method == 8) {
            z_stream stream{};
            if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
                return false;
            QByteArray out(1 << 16, Qt::Uninitialized);
            quint64 left = packed;
            int status = Z_OK;
            while (left > 0 && status == Z_OK) {
                QByteArray in = file.read(qint64(std::min<quint64>(left, 1 << 16)));
                if (in.isEmpty())
                    break;
                left -= quint64(in.size());
                stream.next_in = reinterpret_cast<Bytef *>(in.data());
                stream.avail_in = uInt(in.size());
                do {
                    stream.next_out = reinterpret_cast<Bytef *>(out.data());
                    stream.avail_out = uInt(out.size());
                    status = inflate(&stream, Z_NO_FLUSH);
                    keep(out.constData(), size_t(out.size()) - stream.avail_out);
                } while (status == Z_OK && stream.avail_out == 0);
            }
            inflateEnd(&stream);
            if (status != Z_STREAM_END)
                return false;
        } else {
            return false;
        }
        return total == size && last.trimmed().endsWith(ending);
    }
    return false;
}

} // namespace results
