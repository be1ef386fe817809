#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace fakes {

// A real chain of folders deeper than any path reaches, each holding "in.txt"; made and
// removed through folder handles, since no path opens its bottom.
class DeepTree {
public:
    // Makes the chain of levels folders, each named with 200 "d" characters, below a folder.
    DeepTree(const QString &top, int levels);
    // Removes the chain.
    ~DeepTree();
    DeepTree(const DeepTree &) = delete;
    DeepTree &operator=(const DeepTree &) = delete;

    // Returns whether every level was made.
    bool made() const { return m_made; }
    // Returns the paths of the files that a path can reach.
    QStringList reachableFiles() const { return m_reachable; }

private:
    QByteArray m_name;
    std::vector<int> m_folders;
    QStringList m_reachable;
    bool m_made = false;
};

} // namespace fakes
