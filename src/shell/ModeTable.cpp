#include "ModeTable.h"

#include <array>
#include <utility>

namespace shell {

namespace {

using engine::Mode;

// The mode list, top to bottom: each caption beside the mode it stands for.
const std::array<std::pair<Mode, const char16_t *>, 14> modeList = {{
    {Mode::ExtractSearchWordLineUpXDownY,
     u"Extract line which contains search word and x line(s) above and y line(s) below"},
    {Mode::ExtractSearchWordLine, u"Extract entire line which contains search word"},
    {Mode::ExtractSearchWordLineUp1,
     u"Extract entire line which contains search word and 1 line above"},
    {Mode::ExtractSearchWordLineUp2,
     u"Extract entire line which contains search word and 2 lines above"},
    {Mode::ExtractSearchWordLineUp3,
     u"Extract entire line which contains search word and 3 lines above"},
    {Mode::ExtractSearchWordLineDown1,
     u"Extract entire line which contains search word and 1 line below"},
    {Mode::ExtractSearchWordLineDown2,
     u"Extract entire line which contains search word and 2 lines below"},
    {Mode::ExtractSearchWordLineDown3,
     u"Extract entire line which contains search word and 3 lines below"},
    {Mode::ExtractSearchWordLineUp3Down1,
     u"Extract entire line which contains search word and 3 lines above and 1 line below"},
    {Mode::ExtractSearchWordLineUp1Down1,
     u"Extract entire line which contains search word and 1 line above and 1 line below"},
    {Mode::Extract1stLineBelow, u"Extract 1st line below search word"},
    {Mode::Extract2ndLineBelow, u"Extract 2nd line below search word"},
    {Mode::ExtractSearchWordLineUpAll,
     u"Extract entire line which contains search word and all lines above"},
    {Mode::ExtractSearchWordLineDownAll,
     u"Extract entire line which contains search word and all lines below"},
}};

} // namespace

const QStringList &modeCaptions()
{
    static const QStringList captions = [] {
        QStringList list;
        for (const auto &[mode, caption] : modeList)
            list.append(QString::fromUtf16(caption));
        return list;
    }();
    return captions;
}

std::optional<engine::Mode> modeAt(int position)
{
    if (position < 0 || size_t(position) >= modeList.size())
        return std::nullopt;
    return modeList[size_t(position)].first;
}

int positionOf(engine::Mode mode)
{
    for (size_t i = 0; i < modeList.size(); ++i)
        if (modeList[i].first == mode)
            return int(i);
    return -1;
}

} // namespace shell
