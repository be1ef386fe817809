#include "PackedSearch.h"

#include "engine/MemberText.h"
#include "engine/PackedReader.h"
#include "engine/Steps.h"
#include "engine/StreamText.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

namespace run {

namespace {

constexpr std::string_view kModule = "ExtractState";
constexpr std::string_view kProcedure = "ReadFileToStringFSO";
// Files from this size on are decompressed beside their search.
std::atomic<size_t> g_pipedFrom{size_t(2) << 20};

bool stopped(const std::atomic<bool> *stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// The members of a compressed file or an archive and their texts, as the search takes them.
// Every call may throw the reader's engine::Failure.
class Feed {
public:
    virtual ~Feed() = default;
    // Opens the reader; returns false when a stop came first.
    virtual bool open() = 0;
    // Moves to the next member; nothing at the end.
    virtual std::optional<engine::PackedReader::Member> nextMember() = 0;
    // Starts on the current member's text (see engine::MemberText); returns false when the
    // member holds none.
    virtual bool startText() = 0;
    // Reads at most size more bytes of the text into out; 0 at its end.
    virtual size_t read(char *out, size_t size) = 0;
};

// Reads the file on the searching thread.
class DirectFeed final : public Feed {
public:
    explicit DirectFeed(std::string_view bytes) : m_bytes(bytes) {}
    bool open() override
    {
        m_reader = std::make_unique<engine::PackedReader>(m_bytes);
        return true;
    }
    std::optional<engine::PackedReader::Member> nextMember() override
    {
        m_text.reset();
        return m_reader->nextMember();
    }
    bool startText() override
    {
        // A compressed member is read as what it decompresses to; an archive inside is not
        // opened.
        m_text = std::make_unique<engine::MemberText>(*m_reader);
        return !m_text->holdsNoText();
    }
    size_t read(char *out, size_t size) override { return m_text->read(out, size); }

private:
    std::string_view m_bytes;
    std::unique_ptr<engine::PackedReader> m_reader;
    std::unique_ptr<engine::MemberText> m_text;
};

// Decompresses on a thread of its own while the searching thread searches what came before:
// one large archive or compressed file then keeps two processor cores busy, not one. The
// thread runs ahead by a few blocks at most, and what it meets comes through in order.
class PipedFeed final : public Feed {
public:
    PipedFeed(std::string_view bytes, const std::atomic<bool> *stop)
        : m_bytes(bytes), m_stop(stop), m_thread([this] { produce(); })
    {
    }
    ~PipedFeed() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_room.notify_all();
        m_thread.join();
    }

    bool open() override { return !std::holds_alternative<Ended>(take()); }
    std::optional<engine::PackedReader::Member> nextMember() override
    {
        // What the search did not read of the member before is passed over, a failure to
        // read it too.
        while (m_inText) {
            const Event event = takeEvent();
            const auto *block = std::get_if<std::string>(&event);
            m_inText = block && !block->empty();
        }
        m_given = m_block.size();
        Event event = take();
        if (auto *member = std::get_if<engine::PackedReader::Member>(&event))
            return std::move(*member);
        return std::nullopt;
    }
    bool startText() override
    {
        const Event event = take();
        const auto *starts = std::get_if<TextStarts>(&event);
        m_inText = starts && starts->holdsText;
        return m_inText;
    }
    size_t read(char *out, size_t size) override
    {
        if (m_given == m_block.size()) {
            if (!m_inText)
                return 0;
            m_inText = false;
            Event event = take();
            auto *block = std::get_if<std::string>(&event);
            if (!block || block->empty())
                return 0;
            m_inText = true;
            giveBack(std::move(m_block));
            m_block = std::move(*block);
            m_given = 0;
        }
        const size_t count = std::min(size, m_block.size() - m_given);
        std::memcpy(out, m_block.data() + m_given, count);
        m_given += count;
        return count;
    }

private:
    struct Opened {};
    struct Ended {};
    struct TextStarts {
        bool holdsText;
    };
    // In order: Opened, then for each member the member, then for a readable one TextStarts
    // and, when it holds text, its blocks and an empty block at its end. A failure
    // (a Failure) stands for the next thing; Ended comes once everything was handed on,
    // whatever happened.
    using Event = std::variant<Opened, engine::PackedReader::Member, TextStarts, std::string,
                               engine::Failure, Ended>;

    static constexpr size_t kBlock = size_t(1) << 20;
    static constexpr size_t kBlocksAhead = 4;

    // Returns the next event.
    Event takeEvent()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_events.empty() || m_produced; });
        if (m_events.empty())
            return Ended{};
        Event event = std::move(m_events.front());
        m_events.pop_front();
        lock.unlock();
        m_room.notify_one();
        return event;
    }
    // Returns the next event, throwing a failure.
    Event take()
    {
        Event event = takeEvent();
        if (auto *failure = std::get_if<engine::Failure>(&event))
            throw *failure;
        return event;
    }
    // Hands an event on once there is room; returns false when the search is over.
    bool give(Event event)
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_quit || m_events.size() < kBlocksAhead; });
        if (m_quit)
            return false;
        m_events.push_back(std::move(event));
        lock.unlock();
        m_ready.notify_one();
        return true;
    }
    // Blocks go round between the threads: memory touched for the first time costs more
    // than decompressing into it.
    void giveBack(std::string block)
    {
        if (block.capacity() < kBlock)
            return;
        std::lock_guard lock(m_mutex);
        m_spare.push_back(std::move(block));
    }
    std::string spareBlock()
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_spare.empty()) {
                std::string block = std::move(m_spare.back());
                m_spare.pop_back();
                block.resize(kBlock);
                return block;
            }
        }
        return std::string(kBlock, '\0');
    }
    // Needs no memory, so that the search always learns the end.
    void end()
    {
        std::lock_guard lock(m_mutex);
        m_produced = true;
        m_ready.notify_one();
    }
    static engine::Failure failureOf(const std::exception &error)
    {
        if (const auto *failure = dynamic_cast<const engine::Failure *>(&error))
            return *failure;
        return engine::Failure(dynamic_cast<const std::bad_alloc *>(&error) ? "Out of memory"
                                                                            : error.what());
    }

    void produce()
    {
        std::unique_ptr<engine::PackedReader> reader;
        try {
            reader = std::make_unique<engine::PackedReader>(m_bytes);
        } catch (const std::exception &error) {
            give(failureOf(error));
        }
        try {
            if (reader && give(Opened{}))
                produceMembers(*reader);
        } catch (const std::exception &error) {
            // Memory ran out for an event: what was handed on stands, the rest is lost.
            try {
                give(failureOf(error));
            } catch (const std::exception &) {
            }
        }
        end();
    }
    void produceMembers(engine::PackedReader &reader)
    {
        while (!stopped(m_stop)) {
            std::optional<engine::PackedReader::Member> next;
            try {
                next = reader.nextMember();
            } catch (const std::exception &error) {
                give(failureOf(error));
                return;
            }
            if (!next)
                return;
            const bool readable = next->problem.empty();
            if (!give(std::move(*next)) || (readable && !produceText(reader)))
                return;
        }
    }
    // Returns false when the search is over.
    bool produceText(engine::PackedReader &reader)
    {
        try {
            engine::MemberText text(reader);
            if (!give(TextStarts{!text.holdsNoText()}))
                return false;
            if (text.holdsNoText())
                return true;
            for (;;) {
                std::string block = spareBlock();
                size_t have = 0;
                while (have < block.size() && !stopped(m_stop)) {
                    const size_t got = text.read(block.data() + have, block.size() - have);
                    if (got == 0)
                        break;
                    have += got;
                }
                block.resize(have);
                const bool last = block.size() < kBlock;
                if (!give(std::move(block)))
                    return false;
                // An empty block ends the text.
                if (last)
                    return have == 0 || give(std::string());
            }
        } catch (const std::exception &error) {
            return give(failureOf(error));
        }
    }

    std::string_view m_bytes;
    const std::atomic<bool> *m_stop;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_room;
    std::deque<Event> m_events;
    std::vector<std::string> m_spare;
    bool m_quit = false;
    bool m_produced = false; // everything there is was handed on
    // Whether the current member's text has blocks still to come; the block being read, and
    // how much of it was given.
    bool m_inText = false;
    std::string m_block;
    size_t m_given = 0;
    std::thread m_thread;
};

// Searches the text of the feed's current member, part by part, into member.
void searchMember(Feed &feed, const SearchPlan &plan, SearchWorkers::Member &member,
                  const std::atomic<bool> *stop)
{
    if (!feed.startText())
        return;
    engine::StreamText stream([&](char *out, size_t size) { return feed.read(out, size); }, stop);
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
    std::unique_ptr<Feed> feed;
    if (bytes.size() >= g_pipedFrom.load(std::memory_order_relaxed)) {
        try {
            feed = std::make_unique<PipedFeed>(bytes, stop);
        } catch (const std::system_error &) {
            // No thread to be had: the file is read here.
        }
    }
    if (!feed)
        feed = std::make_unique<DirectFeed>(bytes);
    bool opened = false;
    opening.step(112, [&] { opened = feed->open(); });
    while (opened && !stopped(stop)) {
        SearchWorkers::Member member;
        SearchWorkers::Recorder recorder(member.reports);
        engine::Steps steps(recorder, kModule, kProcedure);
        std::optional<engine::PackedReader::Member> next;
        steps.step(114, [&] { next = feed->nextMember(); });
        if (!next) {
            // A failure to find the next member ends the archive, shown after what was read.
            if (!member.reports.empty())
                outcome.members.push_back(std::move(member));
            break;
        }
        member.name = next->name;
        if (next->problem.empty())
            steps.step(116, [&] { searchMember(*feed, plan, member, stop); });
        else
            steps.step(114, [&] { throw engine::Failure(next->problem); });
        nameFailures(member);
        outcome.members.push_back(std::move(member));
    }
}

size_t setPipedFrom(size_t bytes)
{
    return g_pipedFrom.exchange(bytes, std::memory_order_relaxed);
}

} // namespace run
