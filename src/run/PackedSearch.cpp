#include "PackedSearch.h"

#include "engine/PackedReader.h"
#include "engine/Steps.h"
#include "engine/StreamText.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace run {

namespace {

constexpr std::string_view kModule = "ExtractState";
constexpr std::string_view kProcedure = "ReadFileToStringFSO";
// Enough of a member's first bytes to tell whether it is compressed.
constexpr size_t kHeadSize = 64;

bool stopped(const std::atomic<bool> *stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// Searches the bytes of the reader's current member, part by part, into member.
void searchMember(engine::PackedReader &reader, const SearchPlan &plan,
                  SearchWorkers::Member &member, const std::atomic<bool> *stop)
{
    std::string head(kHeadSize, '\0');
    size_t have = 0;
    while (have < head.size()) {
        const size_t got = reader.read(head.data() + have, head.size() - have);
        if (got == 0)
            break;
        have += got;
    }
    head.resize(have);
    size_t headGiven = 0;
    const auto outer = [&](char *out, size_t size) -> size_t {
        if (headGiven < head.size()) {
            const size_t count = std::min(size, head.size() - headGiven);
            std::memcpy(out, head.data() + headGiven, count);
            headGiven += count;
            return count;
        }
        return reader.read(out, size);
    };
    // A compressed member is read as what it decompresses to; an archive inside is not opened.
    std::unique_ptr<engine::PackedReader> inner;
    if (engine::packingOf(head) == engine::Packing::Compressed) {
        inner = std::make_unique<engine::PackedReader>(outer);
        if (!inner->nextMember())
            return;
    }
    engine::StreamText stream(inner ? engine::StreamText::Source([&](char *out, size_t size) {
                                  return inner->read(out, size);
                              })
                                    : engine::StreamText::Source(outer),
                              stop);
    // Lines are numbered through the whole member, across its parts.
    uint64_t line = 1;
    while (std::optional<engine::FileText> part = stream.next()) {
        FileBlocks &blocks = member.parts.emplace_back();
        blocks.text = std::move(*part);
        blocks.firstLine = line;
        blocks.noteText();
        searchFile(plan, blocks, stop);
        line = blocks.lineAfter();
        blocks.keepOnlyRows();
    }
}

// Puts the member's name before the descriptions of its failures, which the report shows
// under the archive's tag.
void nameFailures(SearchWorkers::Member &member)
{
    if (member.name.empty())
        return;
    for (SearchWorkers::Report &report : member.reports)
        report.description = member.name + ": " + report.description;
}

} // namespace

void searchPacked(std::string_view bytes, const SearchPlan &plan, SearchWorkers::Outcome &outcome,
                  const std::atomic<bool> *stop)
{
    outcome.packed = true;
    SearchWorkers::Recorder fileReports(outcome.reports);
    engine::Steps opening(fileReports, kModule, kProcedure);
    std::unique_ptr<engine::PackedReader> reader;
    opening.step(112, [&] { reader = std::make_unique<engine::PackedReader>(bytes); });
    while (reader && !stopped(stop)) {
        SearchWorkers::Member member;
        SearchWorkers::Recorder recorder(member.reports);
        engine::Steps steps(recorder, kModule, kProcedure);
        std::optional<engine::PackedReader::Member> next;
        steps.step(114, [&] { next = reader->nextMember(); });
        if (!next) {
            // A failure to find the next member ends the archive, shown after what was read.
            if (!member.reports.empty())
                outcome.members.push_back(std::move(member));
            break;
        }
        member.name = next->name;
        if (next->problem.empty())
            steps.step(116, [&] { searchMember(*reader, plan, member, stop); });
        else
            steps.step(114, [&] { throw engine::Failure(next->problem); });
        nameFailures(member);
        outcome.members.push_back(std::move(member));
    }
}

} // namespace run
