#include "OutputFile.h"

#include "engine/Steps.h"
#include "platform/Yield.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

namespace results {

namespace {
// Large enough that a million short lines cost few system calls.
constexpr size_t kChunk = size_t(1) << 18;
} // namespace

OutputFile::OutputFile() = default;

OutputFile::~OutputFile()
{
    cancel();
}

void OutputFile::open(const QString &path)
{
    cancel();
    if (path.isEmpty())
        throw engine::Failure("Bad file name or number");
    struct stat info {};
    const QByteArray native = QFile::encodeName(path);
    const bool exists = ::stat(native.constData(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        throw engine::Failure("Path/File access error: " + path.toStdString() + " is a folder");
    if (exists && (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))) {
        // Renaming a temporary file over a device node would replace the device itself.
        m_device = std::make_unique<QFile>(path);
        m_file = m_device.get();
    } else if (exists && !S_ISREG(info.st_mode)) {
        // Opening a pipe for writing would block the window until someone reads it.
        throw engine::Failure("Path/File access error: " + path.toStdString() +
                              " is not a regular file");
    } else {
        m_replacing = std::make_unique<QSaveFile>(path);
        m_file = m_replacing.get();
    }
    // Unbuffered, so a write failure surfaces at the write that caused it; the chunk buffer
    // below does the batching.
    constexpr QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (m_file->open(mode))
        return;
    // A writable file in a folder that takes no new file cannot be replaced; it is then
    // written in place, which is the only way to save there.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (m_replacing && exists && ::access(native.constData(), W_OK) == 0 &&
        ::access(folder.constData(), W_OK) != 0) {
        m_replacing.reset();
        m_device = std::make_unique<QFile>(path);
        m_file = m_device.get();
        if (m_file->open(mode))
            return;
    }
    fail();
}

void OutputFile::write(std::string_view bytes)
{
    if (m_buffer.capacity() < kChunk)
        m_buffer.reserve(kChunk);
    m_buffer.append(bytes);
    if (m_buffer.size() >= kChunk)
        flushBuffer();
}

void OutputFile::commit(platform::Yield &yield)
{
    flushBuffer();
    if (m_replacing) {
        // Committing flushes the whole file to the disk before the rename, which takes a
        // while for a large file; the window keeps handling events meanwhile.
        QSaveFile *file = m_replacing.get();
        if (!platform::runAside(yield, [file] { return file->commit(); }))
            fail();
    } else if (m_device) {
        // The last chance to hear of a failed write, on a network file system for one.
        m_device->close();
        if (m_device->error() != QFileDevice::NoError)
            fail();
    }
    m_replacing.reset();
    m_device.reset();
    m_file = nullptr;
}

void OutputFile::cancel()
{
    if (m_replacing)
        m_replacing->cancelWriting();
    m_replacing.reset();
    m_device.reset();
    m_file = nullptr;
    m_buffer.clear();
}

void OutputFile::flushBuffer()
{
    if (!m_file)
        throw engine::Failure("Bad file name or number");
    const char *data = m_buffer.data();
    qint64 left = qint64(m_buffer.size());
    while (left > 0) {
        const qint64 written = m_file->write(data, left);
        if (written <= 0)
            fail();
        data += written;
        left -= written;
    }
    m_buffer.clear();
}

void OutputFile::fail()
{
    std::string description = m_file ? m_file->errorString().toStdString() : std::string();
    if (description.empty())
        description = "Device I/O error";
    cancel();
    throw engine::Failure(description);
}

} // namespace results
