#include "InputPaths.h"

#include "cli/ConsoleReporter.h"
#include "cli/Interruption.h"
#include "filelist/FolderScan.h"
#include "platform/ListModel.h"
#include "platform/QtFileSystem.h"
#include "platform/Yield.h"

#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

// A list of paths is held whole: one larger than this is no list (/dev/zero, say), and is
// refused before it takes the machine's memory.
constexpr qsizetype kLargestList = qsizetype(1) << 30;

// Reads a file descriptor to its end; returns the error number of a failed read (EFBIG for a
// list too large to be one, ENOMEM when memory ran out), or 0.
int readAll(int fd, QByteArray &into)
{
    char block[1 << 16];
    for (;;) {
        if (into.size() > kLargestList)
            return EFBIG;
        const ssize_t got = ::read(fd, block, sizeof block);
        // Ctrl+C ends a wait for a list typed at a terminal, or piped from a slow program.
        if (got < 0 && errno == EINTR && !Interruption::interrupted())
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        try {
            into.append(block, got);
        } catch (const std::bad_alloc &) {
            return ENOMEM;
        }
    }
}

QString reasonFor(int error)
{
    if (error == EFBIG)
        return QStringLiteral("larger than 1 GiB, so no list of paths; not read");
    return QString::fromLocal8Bit(std::strerror(error));
}

// The yield of a folder scan on a thread of its own: it ends the scan once the run, the
// gathering or the user stops.
class ScanYield : public platform::Yield {
public:
    ScanYield(const std::atomic<bool> &runStopped, const std::atomic<bool> &gatheringStopped)
        : m_runStopped(runStopped), m_gatheringStopped(gatheringStopped)
    {
    }
    void setScan(filelist::FolderScan &scan) { m_scan = &scan; }
    void yield() override
    {
        if (m_scan && (m_runStopped || m_gatheringStopped || Interruption::interrupted()))
            m_scan->stop();
    }

private:
    const std::atomic<bool> &m_runStopped;
    const std::atomic<bool> &m_gatheringStopped;
    filelist::FolderScan *m_scan = nullptr;
};

// The scan's message is made for a message box: one line here.
QString oneLine(QString text)
{
    text.replace(QStringLiteral(":\r\r"), QStringLiteral(": "));
    text.replace(QStringLiteral("\r"), QStringLiteral("; "));
    return text;
}

} // namespace

InputPaths::InputPaths(ConsoleReporter &reporter, int input) : m_reporter(reporter), m_input(input)
{
}

QStringList InputPaths::pathsOfList(const QByteArray &bytes, QList<int> &badLines)
{
    QStringList paths;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString path = decoder.decode(line);
        // A name the system's text cannot hold names another file, or none.
        if (decoder.hasError() || line.contains('\0')) {
            badLines.append(int(i + 1));
            continue;
        }
        paths.append(path);
    }
    return paths;
}

std::optional<QByteArray> InputPaths::readList(const QString &listFile)
{
    QByteArray bytes;
    if (listFile == QLatin1String("-")) {
        const int error = readAll(m_input, bytes);
        if (Interruption::interrupted())
            return std::nullopt;
        if (error != 0) {
            m_reporter.failAbout(QStringLiteral("standard input"), reasonFor(error));
            return std::nullopt;
        }
        return bytes;
    }
    // A FIFO is read as it comes (the list of a pipeline); a folder is no list.
    const int fd = ::open(QFile::encodeName(listFile).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    int error = fd < 0 ? errno : ::fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && S_ISDIR(info.st_mode))
        error = EISDIR;
    if (error == 0)
        error = readAll(fd, bytes);
    if (fd >= 0)
        ::close(fd);
    if (Interruption::interrupted())
        return std::nullopt;
    if (error != 0) {
        m_reporter.failAbout(listFile, reasonFor(error));
        return std::nullopt;
    }
    return bytes;
}

void InputPaths::stop()
{
    m_stopped = true;
}

std::optional<QStringList> InputPaths::gather(const QStringList &given, const QString &listFile,
                                              const QString &pattern)
{
    m_reporter.setSubject(QString());
    QStringList paths = given;
    if (!listFile.isEmpty()) {
        const std::optional<QByteArray> list = readList(listFile);
        if (!list)
            return std::nullopt;
        QList<int> badLines;
        paths += pathsOfList(*list, badLines);
        const QString name =
            listFile == QLatin1String("-") ? QStringLiteral("(standard input)") : listFile;
        for (const int line : badLines)
            m_reporter.failAbout(QStringLiteral("%1:%2").arg(name).arg(line),
                                 QStringLiteral("the name is not valid UTF-8, so it cannot be "
                                                "opened by name; left out"));
    }
    // The patterns take the form of the window's folder prompt: extensions or name patterns.
    m_patterns = filelist::FolderScan::namePatterns(pattern);
    // Which paths are folders the run finds as it opens them: no path is looked at twice.
    QStringList files;
    files.reserve(paths.size());
    for (const QString &path : std::as_const(paths)) {
        if (path.contains(QChar(QChar::ReplacementCharacter)) && !QFile::exists(path))
            m_reporter.failAbout(path, QStringLiteral("the name is not valid UTF-8, so it "
                                                      "cannot be opened by name"));
        else
            files.append(path);
    }
    return files;
}

std::function<void()> InputPaths::filesOf(const QString &folder,
                                          const std::function<void(const QStringList &)> &found,
                                          const std::atomic<bool> &stop)
{
    if (m_stopped)
        return {};
    platform::QtFileSystem fileSystem(platform::QtFileSystem::Looks::Remembered);
    ScanYield yield(stop, m_stopped);
    // What the scan reports is said on the reporter's thread.
    auto failures = std::make_shared<std::vector<engine::RecordedFailure>>();
    engine::FailureRecorder recorder(*failures);
    filelist::FolderScan scan(fileSystem, yield, recorder);
    yield.setScan(scan);
    scan.setFound(found);
    engine::Steps steps(recorder, "CommandLine", "AddFolderTree");
    platform::ListModel unused; // the files go to found
    const filelist::LeftOut leftOut = scan.addFolderTree(folder, m_patterns, unused, steps);
    return [this, folder, leftOut, failures] {
        for (const engine::RecordedFailure &failure : *failures)
            m_reporter.reportError(failure.tag, failure.step, failure.description);
        if (leftOut.any())
            m_reporter.failAbout(folder, oneLine(leftOut.message()));
        for (const QString &loop : leftOut.loops)
            m_reporter.failAbout(loop, QStringLiteral("folder loop: it leads back to a folder "
                                                      "above it, so it is not scanned again"));
    };
}

} // namespace cli
