#include "SampleFiles.h"

#include "FileListHost.h"
#include "FolderScan.h"
#include "engine/CodePage.h"
#include "engine/Steps.h"
#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/ListModel.h"
#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"

namespace filelist {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;

int codeOf(QChar c)
{
    const int code = engine::fromUnicode(c.unicode());
    return code < 0 ? int('?') : code;
}

QString scramble(const QString &text, const QString &key, platform::Yield &yield, int direction)
{
    if (text.size() > 32767)
        throw engine::Failure("Overflow");
    if (key.isEmpty())
        throw engine::Failure("Invalid procedure call or argument");
    QString result;
    result.reserve(text.size());
    qsizetype k = 0;
    for (const QChar c : text) {
        yield.yield();
        int v = codeOf(c) + direction * codeOf(key.at(k));
        k = (k + 1) % key.size();
        if (v >= 256)
            v -= 255;
        else if (v <= 0)
            v += 255;
        result.append(QChar(engine::toUnicode(static_cast<unsigned char>(v))));
    }
    return result;
}

} // namespace

const QString SampleFiles::snapshotKey = QStringLiteral("Snapshot");

const QString SampleFiles::scrambleKey = QStringLiteral("mordavix");

SampleFiles::SampleFiles(FileListHost &host, FolderScan &scan) : m_host(host), m_scan(scan)
{
}

QString SampleFiles::scrambleText(const QString &text, const QString &key, platform::Yield &yield)
{
    return scramble(text, key, yield, +1);
}

QString SampleFiles::unscrambleText(const QString &text, const QString &key, platform::Yield &yield)
{
    return scramble(text, key, yield, -1);
}

bool SampleFiles::listContainsText(const platform::ListModel &list, const QString &text)
{
    for (int row = 0; row < list.count(); ++row)
        if (list.text(row) == text)
            return true;
    return false;
}

QString SampleFiles::snapshotText(const QString &paths)
{
    const QByteArray bytes = paths.toUtf8();
    return QString::fromStdU16String(
        engine::decode(std::string_view(bytes.constData(), size_t(bytes.size()))));
}

QString SampleFiles::pathsFromSnapshotText(const QString &text)
{
    const std::string bytes = engine::encodeLossy(text.toStdU16String());
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

QString SampleFiles::samplesFolder() const
{
    return m_host.programFolderFile(QStringLiteral("Samples"));
}

void SampleFiles::recordSampleFiles()
{
    const QStringList names = m_scan.usableFilesIn(samplesFolder(), {QStringLiteral("*.*")});
    QStringList paths;
    for (const QString &name : names)
        paths.append(m_host.programFolderFile(QStringLiteral("Samples/") + name));
    const platform::Services &services = m_host.services();
    const QString scrambled =
        scrambleText(snapshotText(paths.join(u'|')), scrambleKey, *services.yield);
    services.settings->writeSetting(application, section, snapshotKey, scrambled);
}

void SampleFiles::loadSampleFiles(platform::ListModel &list)
{
    const platform::Services &services = m_host.services();
    const QString stored = services.settings->readSetting(application, section, snapshotKey, {});
    if (!stored.isEmpty()) {
        const QString paths =
            pathsFromSnapshotText(unscrambleText(stored, scrambleKey, *services.yield));
        for (const QString &path : paths.split(u'|')) {
            if (services.fileSystem->fileExists(path) && !listContainsText(list, path))
                list.append(path);
        }
    }
    const platform::Answer answer = services.prompts->message(
        QStringLiteral("Would you like this software to open the folder where these sample "
                       "files are stored (so that you can view them before working with them)?"),
        m_host.applicationTitle(), platform::Icon::None, platform::Buttons::YesNo);
    if (answer == platform::Answer::Yes)
        services.desktop->openFolder(m_host.programFolderFile(QStringLiteral("Samples/")));
}

void SampleFiles::loadSamples()
{
    engine::Steps steps(m_host.reporter(), platform::mainWindowModule, "PushButton8_Click");
    steps.step(100, [&] { loadSampleFiles(m_host.files()); });
    steps.step(110, [&] { m_host.selectLinesAbove(2); });
    steps.step(112, [&] { m_host.selectLinesBelow(1); });
    steps.step(114, [&] { m_host.setSearchText(QStringLiteral("Dozida")); });
}

} // namespace filelist
