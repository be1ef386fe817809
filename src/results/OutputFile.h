#pragma once

#include <QString>
#include <memory>
#include <string>
#include <string_view>

class QFile;
class QFileDevice;
class QSaveFile;

namespace platform {
class Yield;
}

namespace results {

// A file being written that replaces its target only when committed: the bytes go to a
// temporary file beside the target, renamed over it at commit. A device (such as /dev/null),
// and a writable file in a folder that takes no new file, are written in place, since they
// cannot be replaced. Every failure throws engine::Failure.
class OutputFile {
public:
    OutputFile();
    // Cancels an uncommitted file, removing its temporary file.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Opens the target for writing.
    void open(const QString &path);
    // Appends bytes.
    void write(std::string_view bytes);
    // Writes what is left and puts the file in place of the target.
    void commit(platform::Yield &yield);
    // Drops everything written; an existing target stays as it was.
    void cancel();

private:
    void flushBuffer();
    [[noreturn]] void fail();

    std::unique_ptr<QSaveFile> m_replacing;
    std::unique_ptr<QFile> m_device;
    QFileDevice *m_file = nullptr;
    std::string m_buffer;
};

} // namespace results
