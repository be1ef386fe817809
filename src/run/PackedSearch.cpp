#include "PackedSearch.h"

#include "engine/MemberText.h"
#include "engine/PackedReader.h"
#include "engine/Steps.h"
#include "engine/StreamText.h"

#include <memory>

namespace run {

namespace {

constexpr std::string_view kModule = "ExtractState";
constexpr std::string_view kProcedure = "ReadFileToStringFSO";

bool stopped(const std::atomic<bool> *stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// Searches the text of the reader's current member, part by part, into member.
void searchMember(engine::PackedReader &reader, const SearchPlan &plan,
                  SearchWorkers::Member &member, const std::atomic<bool> *stop)
{
    // A compressed member is read as what it decompresses to; an archive inside is not opened.
    engine::MemberText text(reader);
    if (text.holdsNoText())
        return;
    engine::StreamText stream([&](char *out, size_t size) { return text.read(out, size); }, stop);
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
