#include "DeepTree.h"

#include <QFile>

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fakes {

DeepTree::DeepTree(const QString &top, int levels) : m_name(200, 'd')
{
    m_folders.push_back(::open(QFile::encodeName(top).constData(), O_DIRECTORY));
    QString path = top;
    for (int level = 0; level < levels; ++level) {
        if (m_folders.back() < 0 || ::mkdirat(m_folders.back(), m_name.constData(), 0755) != 0)
            return;
        m_folders.push_back(::openat(m_folders.back(), m_name.constData(), O_DIRECTORY));
        const int file = ::openat(m_folders.back(), "in.txt", O_WRONLY | O_CREAT, 0644);
        if (file < 0 || ::write(file, "deep hit\n", 9) != 9)
            return;
        ::close(file);
        path += u'/' + QString::fromLatin1(m_name);
        if (QFile::encodeName(path + QStringLiteral("/in.txt")).size() < PATH_MAX)
            m_reachable.append(path + QStringLiteral("/in.txt"));
    }
    m_made = m_folders.back() >= 0;
}

DeepTree::~DeepTree()
{
    for (size_t level = m_folders.size() - 1; level > 0; --level) {
        if (m_folders[level] >= 0) {
            ::unlinkat(m_folders[level], "in.txt", 0);
            ::close(m_folders[level]);
        }
        ::unlinkat(m_folders[level - 1], m_name.constData(), AT_REMOVEDIR);
    }
    if (m_folders.front() >= 0)
        ::close(m_folders.front());
}

} // namespace fakes
