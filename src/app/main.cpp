// The program as a command: help, the version and a run with no window need no display and
// none of the window's libraries, so they start in a few milliseconds. Anything else starts
// the window's program, lumbrex-window beside this one, in this same process.

#include "cli/CommandLine.h"
#include "cli/CommandLineRun.h"

#include <QString>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

// The system's text is UTF-8 (what Qt's local eight-bit text is on it), decoded here without
// looking up the system's converter for each of what may be tens of thousands of paths.
QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromUtf8(argv[i], qsizetype(std::strlen(argv[i]))));
    return arguments;
}

// Returns the path of the window's program: beside this program's own file, links resolved.
std::string windowProgram()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return "lumbrex-window";
    std::string path(self, size_t(length));
    return path.substr(0, path.rfind('/') + 1) + "lumbrex-window";
}

// A standard stream the program was started without would be taken by the next file the
// program opens, and rows would be written into that file. Each is held by /dev/null, opened
// the other way round, so using it fails as using a closed stream does ("Bad file
// descriptor"). The lowest free descriptor is the one each open takes.
void holdClosedStreams()
{
    for (int stream = 0; stream <= 2; ++stream) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", (stream == 0 ? O_WRONLY : O_RDONLY));
        if (held >= 0 && held != stream) {
            ::dup2(held, stream);
            ::close(held);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    holdClosedStreams();
    const QStringList arguments = argumentsOf(argc, argv);
    if (cli::wantsCommandLine(arguments)) {
        // The rows a worker makes are freed once written, and its next rows take the memory
        // again: kept rather than handed back to the system, it needs no fresh pages, which
        // cost more than making the rows. A run ends with the process, which hands it all back.
        ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
        // A run needs no application object: it has no event loop, and making one costs a
        // tenth of a start-up. Of the system's locale it takes what it uses: the characters
        // (file names, its terminal) and the system's messages (the reason an open failed);
        // loading every part of it would cost each start two dozen calls to the system.
        std::setlocale(LC_CTYPE, "");
        std::setlocale(LC_MESSAGES, "");
        return cli::runCommandLine(arguments);
    }
    const std::string window = windowProgram();
    ::execv(window.c_str(), argv);
    std::fprintf(stderr, "lumbrex: cannot start the window: %s: %s\n", window.c_str(),
                 std::strerror(errno));
    return 2;
}
