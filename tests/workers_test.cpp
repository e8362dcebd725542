// The worker pool, and what runs on it: large files have their tracks read
// and written side by side, and the result must be what reading and writing
// them one by one gives, failures and exceptions included.

#include "base/workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;

// No pool, a pool of one thread (the caller alone) and a pool of four.
std::vector<std::unique_ptr<Workers>> pools() {
    std::vector<std::unique_ptr<Workers>> pools;
    pools.push_back(nullptr);
    pools.push_back(std::make_unique<Workers>(1));
    pools.push_back(std::make_unique<Workers>(4));
    return pools;
}

TEST(ForEachIndex, CallsEveryIndexOnce) {
    for (const auto& pool : pools()) {
        for (const std::size_t count : {0u, 1u, 2u, 1000u}) {
            std::vector<std::atomic<int>> calls(count);
            for_each_index(pool.get(), count, [&](std::size_t i) { ++calls[i]; });
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_EQ(calls[i].load(), 1) << "index " << i << " of " << count;
        }
    }
}

TEST(ForEachIndex, RethrowsTheLowestIndexAfterAllCallsEnded) {
    for (const auto& pool : pools()) {
        std::atomic<int> calls{0};
        try {
            for_each_index(pool.get(), 64, [&](std::size_t i) {
                ++calls;
                if (i == 40 || i == 7 || i == 63) throw std::runtime_error("index " + std::to_string(i));
            });
            FAIL() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "index 7");
        }
        EXPECT_EQ(calls.load(), 64);
    }
}

// A task that records the thread it ran on, and may wait for a signal first.
class Recorder final : public Workers::Task {
public:
    explicit Recorder(std::shared_future<void> go = {}) : go_(std::move(go)) {}
    std::thread::id ran_on;
    std::atomic<bool> started{false};

private:
    void run() noexcept override {
        started = true;
        if (go_.valid()) go_.wait();
        ran_on = std::this_thread::get_id();
    }
    std::shared_future<void> go_;
};

// With the pool's one thread held by a task, a task queued behind it is
// taken back or run by the thread that asks: nobody waits for the queue.
TEST(WorkersTask, QueuedWorkIsTakenBackOrRunByTheAsker) {
    const Workers workers(1);
    std::promise<void> go;
    Recorder busy(go.get_future().share());
    workers.submit(busy);
    while (!busy.started) std::this_thread::yield();

    Recorder finished, withdrawn;
    workers.submit(finished);
    workers.submit(withdrawn);
    EXPECT_FALSE(workers.withdraw(busy));
    EXPECT_TRUE(workers.withdraw(withdrawn));
    workers.finish(finished);
    EXPECT_TRUE(finished.done());
    EXPECT_EQ(finished.ran_on, std::this_thread::get_id());

    go.set_value();
    workers.settle(busy);
    EXPECT_TRUE(busy.done());
    EXPECT_NE(busy.ran_on, std::this_thread::get_id());
    EXPECT_FALSE(withdrawn.done());
}

// Every thread of the pool runs a task that hands out indices on the same
// pool: its helpers find no free thread, and the tasks still end.
class Nested final : public Workers::Task {
public:
    explicit Nested(const Workers& workers) : workers_(workers) {}
    std::atomic<std::size_t> calls{0};

private:
    void run() noexcept override {
        workers_.for_each_index(200, [this](std::size_t) { ++calls; });
    }
    const Workers& workers_;
};

TEST(WorkersTask, ATaskHandingOutIndicesOnItsOwnPoolEnds) {
    const Workers workers(2);
    std::vector<std::unique_ptr<Nested>> tasks;
    for (int i = 0; i < 6; ++i) tasks.push_back(std::make_unique<Nested>(workers));
    for (auto& task : tasks) workers.submit(*task);
    for (auto& task : tasks) {
        workers.finish(*task);
        EXPECT_EQ(task->calls.load(), 200u);
    }
}

// Tracks whose events came out of time order are sorted when first read;
// threads reading one const song at once all read it in order.
MidiContainer song_out_of_order() {
    MidiContainer song;
    song.initialize(1, 96);
    for (std::uint32_t t = 0; t < 3; ++t) {
        MidiTrack track;
        for (std::uint32_t i = 0; i < 5000; ++i)
            track.add_event(test::note_on((i * 7919u + t) % 4999u, static_cast<std::uint8_t>(i & 0x7F)));
        song.add_track(std::move(track));
    }
    return song;
}

TEST(ConstSong, ThreadsReadingOneSongAtOnceReadItInOrder) {
    const Bytes expected = test::written(song_out_of_order());
    const MidiContainer shared = song_out_of_order();
    std::vector<Bytes> images(4);
    std::vector<std::thread> readers;
    for (Bytes& image : images) readers.emplace_back([&shared, &image] { write_smf(shared, image); });
    for (std::thread& reader : readers) reader.join();
    for (const Bytes& image : images) EXPECT_EQ(image, expected);
}

// A track body of `notes` note-on pairs under running status, then FF 2F.
Bytes dense_body(std::size_t notes, std::uint8_t channel) {
    Bytes body = {0x00, static_cast<std::uint8_t>(0x90 | channel), 0x3C, 0x64};
    for (std::size_t i = 0; i < notes; ++i) {
        const auto key = static_cast<std::uint8_t>(i & 0x7F);
        body.insert(body.end(), {0x01, key, 0x40, 0x01, key, 0x00});
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    return body;
}

// What a file of these bodies is read to, track by track: each body read
// from a small file of its own, without a pool.
std::vector<std::string> one_by_one(const std::vector<Bytes>& bodies) {
    std::vector<std::string> tracks;
    for (const Bytes& body : bodies) {
        MidiContainer song;
        if (!read_smf(test::range_of(test::smf(1, 96, {body})), song)) break;
        tracks.push_back(test::joined(song.track(0)));
    }
    return tracks;
}

// Bodies of unequal sizes, above the size from which tracks are decoded side
// by side on a pool. `bad` (when below the count) starts with a data byte and no
// running status, which fails that track.
std::vector<Bytes> large_bodies(std::size_t bad) {
    std::vector<Bytes> bodies;
    const std::size_t notes[] = {40000, 90000, 30000, 60000, 50000};
    for (std::size_t i = 0; i < 5; ++i)
        bodies.push_back(i == bad ? Bytes{0x00, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}
                                  : dense_body(notes[i], static_cast<std::uint8_t>(i)));
    return bodies;
}

Bytes file_of(const std::vector<Bytes>& bodies, std::uint16_t announced) {
    Bytes file = test::smf_header(1, announced, 96);
    for (const Bytes& body : bodies) {
        const Bytes chunk = test::mtrk(body);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

TEST(ParallelRead, GivesTheTracksInFileOrderUpToTheFirstFailure) {
    struct Case {
        std::size_t bad;
        std::uint16_t announced;
        bool result;
        std::size_t tracks;
    };
    for (const Case c : {Case{9, 5, true, 5}, Case{3, 5, false, 3}, Case{0, 5, false, 0}, Case{9, 6, false, 5}}) {
        const std::vector<Bytes> bodies = large_bodies(c.bad);
        const Bytes file = file_of(bodies, c.announced);
        ASSERT_GE(file.size(), std::size_t{1} << 20);
        const Workers workers(4);
        MidiContainer song;
        EXPECT_EQ(read_smf(test::range_of(file), song, nullptr, &workers), c.result) << "bad track " << c.bad;
        ASSERT_EQ(song.track_count(), c.tracks);
        const std::vector<std::string> expected = one_by_one(bodies);
        for (std::size_t i = 0; i < c.tracks; ++i) EXPECT_EQ(test::joined(song.track(i)), expected[i]) << "track " << i;
    }
}

TEST(ParallelWrite, PutsEachTrackChunkWhereWritingOneByOneWould) {
    MidiContainer song;
    ASSERT_TRUE(read_smf(test::range_of(file_of(large_bodies(9), 5)), song));
    const Workers workers(4);
    Bytes whole;
    write_smf(song, whole, &workers);

    Bytes expected = test::smf_header(1, 5, 96);
    for (const MidiTrack& track : song.tracks()) {
        MidiContainer alone;
        alone.initialize(1, 96);
        alone.add_track(track);
        const Bytes image = test::written(alone);
        expected.insert(expected.end(), image.begin() + 14, image.end());
    }
    EXPECT_EQ(whole, expected);
}

}  // namespace
}  // namespace seqconv

namespace seqconv {
namespace {

// The writer stores two data bytes for every channel event and keeps as many
// as the event has: the byte it then writes over may lie in the next chunk's
// header, which must come out whole.
MidiTrack ending_in_program_change(std::size_t notes, std::uint8_t channel) {
    MidiTrack track;
    for (std::size_t i = 0; i < notes; ++i)
        track.add_event(test::channel_event(static_cast<std::uint32_t>(i), MidiEventType::note_on, channel,
                                            {static_cast<std::uint8_t>(i & 0x7F), 0x40}));
    track.add_event(
        test::channel_event(static_cast<std::uint32_t>(notes), MidiEventType::program_change, channel, {0x05}));
    return track;
}

TEST(ShortEventWrite, ATrackEndingInAOneByteEventLeavesTheNextChunkWhole) {
    MidiContainer small;
    small.initialize(1, 96);
    small.add_track(ending_in_program_change(1, 0));
    small.add_track(ending_in_program_change(0, 1));
    EXPECT_EQ(test::written(small), test::concat({test::smf_header(1, 2, 96),
                                                  test::bytes_of("MTrk"),
                                                  test::be32(7),
                                                  {0x00, 0x90, 0x00, 0x40, 0x01, 0xC0, 0x05},
                                                  test::bytes_of("MTrk"),
                                                  test::be32(3),
                                                  {0x00, 0xC1, 0x05}}));

    // Large enough to be counted first and written on a pool.
    MidiContainer large;
    large.initialize(1, 96);
    Bytes expected = test::smf_header(1, 3, 96);
    for (std::uint8_t c = 0; c < 3; ++c) {
        large.add_track(ending_in_program_change(30000, c));
        MidiContainer alone;
        alone.initialize(1, 96);
        alone.add_track(large.track(c));
        const Bytes image = test::written(alone);
        expected.insert(expected.end(), image.begin() + 14, image.end());
    }
    const Workers workers(4);
    Bytes image;
    write_smf(large, image, &workers);
    EXPECT_EQ(image, expected);
}

// A program's pool: a thread a core, at most eight, and none at all where
// one thread would do all the work.
TEST(ProgramPool, HasAThreadForEachCoreUpToEight) {
    struct Case {
        unsigned cores;
        std::size_t threads;
    };
    const Case cases[] = {{0, 0}, {1, 0}, {2, 2}, {3, 3}, {8, 8}, {9, 8}, {256, 8}};
    for (const Case& c : cases) EXPECT_EQ(program_pool_threads(c.cores), c.threads) << c.cores << " cores";
}

TEST(ProgramPool, IsMadeOnlyWhereItHasThreadsToGive) {
    const std::unique_ptr<Workers> pool = make_program_pool();
    const std::size_t threads = program_pool_threads(std::thread::hardware_concurrency());
    ASSERT_EQ(pool != nullptr, threads != 0 && Workers(threads).size() != 0);
    if (pool) { EXPECT_EQ(pool->size(), threads); }
}

}  // namespace
}  // namespace seqconv
