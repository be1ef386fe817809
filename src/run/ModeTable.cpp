#include "ModeTable.h"

#include <array>

namespace run {

namespace {

using engine::Mode;

// One entry of the mode list: the mode, its caption, and the short name a command line uses.
struct ListedMode {
    Mode mode;
    const char16_t *caption;
    const char *name;
};

// The mode list, top to bottom.
const std::array<ListedMode, 14> modeList = {{
    {Mode::ExtractSearchWordLineUpXDownY,
     u"Extract line which contains search word and x line(s) above and y line(s) below", "around"},
    {Mode::ExtractSearchWordLine, u"Extract entire line which contains search word", "line"},
    {Mode::ExtractSearchWordLineUp1,
     u"Extract entire line which contains search word and 1 line above", "above-1"},
    {Mode::ExtractSearchWordLineUp2,
     u"Extract entire line which contains search word and 2 lines above", "above-2"},
    {Mode::ExtractSearchWordLineUp3,
     u"Extract entire line which contains search word and 3 lines above", "above-3"},
    {Mode::ExtractSearchWordLineDown1,
     u"Extract entire line which contains search word and 1 line below", "below-1"},
    {Mode::ExtractSearchWordLineDown2,
     u"Extract entire line which contains search word and 2 lines below", "below-2"},
    {Mode::ExtractSearchWordLineDown3,
     u"Extract entire line which contains search word and 3 lines below", "below-3"},
    {Mode::ExtractSearchWordLineUp3Down1,
     u"Extract entire line which contains search word and 3 lines above and 1 line below",
     "above-3-below-1"},
    {Mode::ExtractSearchWordLineUp1Down1,
     u"Extract entire line which contains search word and 1 line above and 1 line below",
     "above-1-below-1"},
    {Mode::Extract1stLineBelow, u"Extract 1st line below search word", "first-below"},
    {Mode::Extract2ndLineBelow, u"Extract 2nd line below search word", "second-below"},
    {Mode::ExtractSearchWordLineUpAll,
     u"Extract entire line which contains search word and all lines above", "all-above"},
    {Mode::ExtractSearchWordLineDownAll,
     u"Extract entire line which contains search word and all lines below", "all-below"},
}};

} // namespace

const QStringList &modeCaptions()
{
    static const QStringList captions = [] {
        QStringList list;
        for (const ListedMode &listed : modeList)
            list.append(QString::fromUtf16(listed.caption));
        return list;
    }();
    return captions;
}

const QStringList &modeNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const ListedMode &listed : modeList)
            list.append(QLatin1String(listed.name));
        return list;
    }();
    return names;
}

std::optional<engine::Mode> modeAt(int position)
{
    if (position < 0 || size_t(position) >= modeList.size())
        return std::nullopt;
    return modeList[size_t(position)].mode;
}

int positionOf(engine::Mode mode)
{
    for (size_t i = 0; i < modeList.size(); ++i)
        if (modeList[i].mode == mode)
            return int(i);
    return -1;
}

int positionNamed(const QString &name)
{
    return int(modeNames().indexOf(name));
}

} // namespace run
