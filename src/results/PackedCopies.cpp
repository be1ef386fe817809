#include "PackedCopies.h"

#include "engine/Steps.h"
#include "results/PackedCopy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <new>
#include <vector>

namespace results {

namespace {

// Every object alive, for removeAll(); only the window thread touches it.
std::vector<PackedCopies *> &alive()
{
    static std::vector<PackedCopies *> objects;
    return objects;
}

constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;

} // namespace

PackedCopies::PackedCopies(platform::FileSystem &fileSystem) : m_fileSystem(fileSystem)
{
    alive().push_back(this);
}

PackedCopies::~PackedCopies()
{
    std::erase(alive(), this);
    stopAndRemove();
}

void PackedCopies::removeAll()
{
    for (PackedCopies *copies : alive())
        copies->stopAndRemove();
}

void PackedCopies::stopAndRemove()
{
    if (m_thread) {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    m_copies.clear();
    if (m_folder)
        m_folder->remove();
    m_folder.reset();
}

QString PackedCopies::folder() const
{
    return m_folder ? m_folder->path() : QString();
}

QString PackedCopies::keyOf(const QString &path, const platform::PackedMember &member)
{
    return QString::number(member.index) + u'\n' + member.name + u'\n' + path;
}

QString PackedCopies::existingCopy(const QString &path, const platform::PackedMember &member)
{
    const auto found = m_copies.constFind(keyOf(path, member));
    if (found == m_copies.cend())
        return {};
    const platform::FileStamp now = m_fileSystem.stamp(path);
    if (now.size < 0 || !(now == found->stamp) || !m_fileSystem.isUsableFile(found->path))
        return {};
    return found->path;
}

bool PackedCopies::make(const QString &path, const platform::PackedMember &member, Done done)
{
    if (m_thread)
        return false;
    if (!m_folder) {
        auto made = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                    QStringLiteral("/lumbrex-copies-XXXXXX"));
        if (!made->isValid() || !QFile::setPermissions(made->path(), ownerOnly)) {
            done({}, QStringLiteral("No private folder can be made in ") + QDir::tempPath() +
                         QStringLiteral(": ") + made->errorString());
            return true;
        }
        m_folder = std::move(made);
    }
    const QString key = keyOf(path, member);
    // A stale copy gives way to the new one, in a subfolder of its own.
    if (const auto old = m_copies.constFind(key); old != m_copies.cend()) {
        QDir(QFileInfo(old->path).absolutePath()).removeRecursively();
        m_copies.erase(old);
    }
    PackedCopy copy{path, member, QDir(m_folder->path()).filePath(QString::number(++m_made)),
                    m_spareBytes};
    if (!QDir().mkdir(copy.folder, ownerOnly)) {
        done({}, QStringLiteral("No folder can be made for the copy: ") + copy.folder);
        return true;
    }
    // The stamp is taken before the copy is read: a file changed meanwhile is copied again.
    const platform::FileStamp stamp = m_fileSystem.stamp(path);
    m_stop = false;
    m_result.clear();
    m_failure.clear();
    m_thread = QThread::create([this, copy] {
        try {
            m_result = writePackedCopy(copy, m_stop);
        } catch (const engine::Failure &failure) {
            m_failure = QString::fromUtf8(failure.what());
        } catch (const std::bad_alloc &) {
            m_failure = QStringLiteral("Out of memory");
        }
    });
    connect(m_thread, &QThread::finished, this,
            [this, key, stamp, folder = copy.folder, done = std::move(done)] {
                finish(key, stamp, folder, done);
            });
    m_thread->start();
    return true;
}

void PackedCopies::finish(const QString &key, platform::FileStamp stamp, const QString &folder,
                          const Done &done)
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    if (m_result.isEmpty())
        QDir(folder).removeRecursively();
    else
        m_copies.insert(key, {m_result, stamp});
    done(m_result, m_failure);
}

} // namespace results
