#include "SettingsFile.h"

#include "engine/Steps.h"
#include "platform/IniText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Another program of the vendor writing the file holds its lock for a moment only.
constexpr int lockWaitMs = 5000;

} // namespace

std::string SettingsFile::nonRegularKind(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    if (S_ISDIR(info.st_mode))
        return "a folder";
    if (S_ISFIFO(info.st_mode))
        return "a FIFO";
    if (S_ISSOCK(info.st_mode))
        return "a socket";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return "a device";
    return "not a regular file";
}

QByteArray SettingsFile::read(const QString &path, bool &missing)
{
    missing = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            missing = true;
            return {};
        }
        throw engine::Failure(std::strerror(errno) + std::string(": cannot read ") +
                              path.toStdString());
    }
    struct stat info {};
    QByteArray bytes;
    std::string failure;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        failure = notRegularText(path, "not a regular file");
    } else {
        bytes.reserve(qsizetype(info.st_size));
        char chunk[1 << 16];
        for (;;) {
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                failure = std::strerror(errno) + std::string(": cannot read ") + path.toStdString();
            if (got <= 0)
                break;
            bytes.append(chunk, got);
        }
    }
    ::close(fd);
    if (!failure.empty())
        throw engine::Failure(failure);
    return bytes;
}

void SettingsFile::write(const QString &path, const Changes &changes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw engine::Failure(cannotWriteText(path));
    // The same lock QSettings takes, so another program of the vendor never writes its own
    // copy in between the reading and the replacing.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMs)) {
        if (lock.error() == QLockFile::LockFailedError)
            throw engine::Failure("The settings file " + path.toStdString() +
                                  " is locked by another program");
        throw engine::Failure(cannotWriteText(path));
    }
    bool missing = false;
    QByteArray before;
    try {
        before = read(path, missing);
    } catch (const engine::Failure &) {
        // What cannot be read cannot be kept: the file is left alone.
        throw engine::Failure(cannotWriteText(path));
    }
    IniText text(before);
    if (text.damaged())
        throw engine::Failure(damagedText(path));
    for (const auto &[section, values] : changes)
        if (!text.setValues(section, values))
            throw engine::Failure(damagedText(path));
    if (!missing && text.bytes() == before)
        return;
    if (!missing && ::access(QFile::encodeName(path).constData(), W_OK) != 0)
        throw engine::Failure(cannotWriteText(path));
    QSaveFile file(path);
    const QByteArray &after = text.bytes();
    if (!file.open(QIODevice::WriteOnly)) {
        if (file.error() == QFileDevice::OpenError)
            throw engine::Failure(cannotWriteText(path));
        throw engine::Failure(file.errorString().toStdString() + ": cannot write " +
                              path.toStdString());
    }
    if (file.write(after) != after.size() || !file.commit())
        throw engine::Failure(file.errorString().toStdString() + ": cannot write " +
                              path.toStdString());
}

std::string SettingsFile::cannotWriteText(const QString &path)
{
    return "Permission denied: cannot write " + path.toStdString();
}

std::string SettingsFile::damagedText(const QString &path)
{
    return "The settings file " + path.toStdString() + " is damaged";
}

std::string SettingsFile::notRegularText(const QString &path, const std::string &kind)
{
    return "The settings file " + path.toStdString() + " is " + kind +
           ", not a regular file: it is neither read nor replaced, and the options last "
           "until the program ends";
}

} // namespace platform
