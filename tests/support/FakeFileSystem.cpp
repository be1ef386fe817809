#include "FakeFileSystem.h"

#include "engine/Steps.h"

#include <QStringList>

namespace fakes {

QString FakeFileSystem::clean(const QString &path)
{
    QString result;
    for (const QChar c : path) {
        if (c == u'/' && result.endsWith(u'/'))
            continue;
        result.append(c);
    }
    if (result.size() > 1 && result.endsWith(u'/'))
        result.chop(1);
    return result;
}

void FakeFileSystem::add(const QString &path, const Node &node)
{
    const QString at = clean(path);
    const qsizetype slash = at.lastIndexOf(u'/');
    if (slash >= 0 && at != QLatin1String("/")) {
        const QString parent = slash == 0 ? QStringLiteral("/") : at.left(slash);
        if (!m_nodes.contains(parent))
            addFolder(parent);
        QStringList &siblings = m_nodes[parent].children;
        const QString name = at.mid(slash + 1);
        if (!siblings.contains(name))
            siblings.append(name);
    }
    m_nodes.insert(at, node);
}

void FakeFileSystem::addFolder(const QString &path, bool system, bool readOnly)
{
    Node node;
    node.system = system;
    node.readOnly = readOnly;
    if (const auto existing = m_nodes.constFind(clean(path)); existing != m_nodes.cend())
        node.children = existing->children;
    add(path, node);
}

void FakeFileSystem::addFile(const QString &path, bool readOnly)
{
    Node node;
    node.type = Type::File;
    node.readOnly = readOnly;
    add(path, node);
}

void FakeFileSystem::addFifo(const QString &path)
{
    Node node;
    node.type = Type::Fifo;
    add(path, node);
}

void FakeFileSystem::addLink(const QString &path, const QString &target)
{
    Node node;
    node.type = Type::Link;
    node.target = target;
    add(path, node);
}

void FakeFileSystem::failListing(const QString &folder, const QString &description)
{
    m_nodes[clean(folder)].failure = description;
}

void FakeFileSystem::remove(const QString &path)
{
    const QString at = clean(path);
    for (auto it = m_nodes.begin(); it != m_nodes.end();) {
        if (it.key() == at || it.key().startsWith(at + u'/'))
            it = m_nodes.erase(it);
        else
            ++it;
    }
    const qsizetype slash = at.lastIndexOf(u'/');
    const QString parent = slash <= 0 ? QStringLiteral("/") : at.left(slash);
    if (m_nodes.contains(parent))
        m_nodes[parent].children.removeAll(at.mid(slash + 1));
}

QString FakeFileSystem::resolvedPath(const QString &path)
{
    QString resolved = QStringLiteral("/");
    const QStringList parts = clean(path).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        QString next = resolved == QLatin1String("/") ? resolved + part : resolved + u'/' + part;
        // Links are followed a bounded number of times, as the kernel does.
        for (int hops = 0; hops < 40; ++hops) {
            const Node *node = find(next);
            if (!node)
                return {};
            if (node->type != Type::Link)
                break;
            next = resolvedPath(node->target);
            if (next.isEmpty())
                return {};
        }
        resolved = next;
    }
    return find(resolved) ? resolved : QString();
}

const FakeFileSystem::Node *FakeFileSystem::find(const QString &resolved) const
{
    const auto it = m_nodes.constFind(resolved);
    return it == m_nodes.cend() ? nullptr : &*it;
}

platform::FileAttributes FakeFileSystem::attributes(const QString &path)
{
    platform::FileAttributes result;
    const QString at = clean(path);
    const qsizetype slash = at.lastIndexOf(u'/');
    const QString parent = slash <= 0 ? QStringLiteral("/") : at.left(slash);
    const QString parentResolved = at == QLatin1String("/") ? at : resolvedPath(parent);
    if (parentResolved.isEmpty())
        return result;
    const QString own = at == QLatin1String("/") ? at
                        : parentResolved == QLatin1String("/")
                            ? parentResolved + at.mid(slash + 1)
                            : parentResolved + u'/' + at.mid(slash + 1);
    const Node *node = find(own);
    if (!node)
        return result;
    result.exists = true;
    result.link = node->type == Type::Link;
    const Node *target = node;
    if (result.link) {
        const QString resolved = resolvedPath(own);
        if (!resolved.isEmpty())
            target = find(resolved);
    }
    result.folder = target->type == Type::Folder;
    result.archive = target->type == Type::File;
    result.readOnly = target->readOnly;
    result.system = result.folder && target->system;
    result.hidden = at.mid(slash + 1).startsWith(u'.');
    return result;
}

bool FakeFileSystem::isUsableFile(const QString &path)
{
    const Node *node = find(resolvedPath(path));
    return node && node->type == Type::File;
}

bool FakeFileSystem::fileExists(const QString &path)
{
    return !path.isEmpty() && !resolvedPath(path).isEmpty();
}

QStringList FakeFileSystem::entries(const QString &folder, platform::EntryKind kind)
{
    const QString resolved = resolvedPath(folder);
    const Node *node = find(resolved);
    if (!node || node->type != Type::Folder)
        throw engine::Failure(platform::pathNotFoundText);
    if (!node->failure.isEmpty())
        throw engine::Failure(node->failure.toStdString());
    ++listings[resolved];
    QStringList names;
    for (const QString &name : node->children) {
        const QString child =
            resolved == QLatin1String("/") ? resolved + name : resolved + u'/' + name;
        const bool isFolder = attributes(child).folder;
        if (isFolder == (kind == platform::EntryKind::Folders))
            names.append(name);
    }
    return names;
}

} // namespace fakes
