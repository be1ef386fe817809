#pragma once

#include "platform/FileSystem.h"

#include <QMap>
#include <QString>

namespace fakes {

// A file tree in memory with every attribute the folder scan reads, symbolic links, FIFOs
// and folders that refuse to be listed; entries list in the order they were added.
class FakeFileSystem : public platform::FileSystem {
public:
    // Adds a folder and any missing parents.
    void addFolder(const QString &path, bool system = false, bool readOnly = false);
    // Adds a regular file and any missing parent folders.
    void addFile(const QString &path, bool readOnly = false);
    // Adds a FIFO (or any other file that is not regular).
    void addFifo(const QString &path);
    // Adds a symbolic link to a target path.
    void addLink(const QString &path, const QString &target);
    // Makes listing a folder fail with a description.
    void failListing(const QString &folder, const QString &description);
    // Removes a path and everything below it.
    void remove(const QString &path);

    platform::FileAttributes attributes(const QString &path) override;
    bool isUsableFile(const QString &path) override;
    bool fileExists(const QString &path) override;
    QStringList entries(const QString &folder, platform::EntryKind kind) override;
    QString resolvedPath(const QString &path) override;

    // Returns how many times each folder was listed, by resolved path.
    QMap<QString, int> listings;

private:
    enum class Type { Folder, File, Fifo, Link };
    struct Node {
        Type type = Type::Folder;
        bool system = false;
        bool readOnly = false;
        QString target;
        QString failure;
        QStringList children;
    };

    static QString clean(const QString &path);
    void add(const QString &path, const Node &node);
    const Node *find(const QString &resolved) const;

    QMap<QString, Node> m_nodes;
};

} // namespace fakes
