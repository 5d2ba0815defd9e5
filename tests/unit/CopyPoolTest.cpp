// The batch's copying threads: copies run side by side, every outcome is collected, and when the
// pool goes, copies not started are discarded and those under way are told to stop.
#include "platform/CopyPool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <new>
#include <stdexcept>

namespace vqx {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using namespace std::chrono_literals;

struct Journal {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> ran, discarded;
    void Note(std::vector<std::string>& list, const std::string& what) {
        {
            std::lock_guard lock(mutex);
            list.push_back(what);
        }
        changed.notify_all();
    }
};

// A copy that does what the test gives it; one that does not succeed is discarded.
class ScriptedJob : public CopyPool::Job {
public:
    ScriptedJob(Journal& journal, std::string name, std::function<Status(const GoOn&)> body)
        : journal_(journal), name_(std::move(name)), body_(std::move(body)) {}
    ~ScriptedJob() override {
        if (!inPlace_)
            journal_.Note(journal_.discarded, name_);
    }
    Status Run(const GoOn& goOn) override {
        journal_.Note(journal_.ran, name_);
        Status done = body_(goOn);
        inPlace_ = done.ok();
        return done;
    }

private:
    Journal& journal_;
    std::string name_;
    std::function<Status(const GoOn&)> body_;
    bool inPlace_ = false;
};

std::vector<std::string> Outcomes(const std::vector<CopyBatch::Finished>& finished) {
    std::vector<std::string> out;
    for (const auto& f : finished)
        out.push_back(f.target + (f.status ? " ok" : " " + f.status.error().description));
    return out;
}

TEST(CopyPoolTest, CopiesRunSideBySideAndEveryOutcomeIsCollected) {
    Journal journal;
    CopyPool pool(3, 8);
    // Each copy ends only once all three have started: they must run at the same time.
    auto together = [&](Status outcome) {
        return [&journal, outcome](const GoOn&) {
            std::unique_lock lock(journal.mutex);
            const bool all =
                journal.changed.wait_for(lock, 10s, [&] { return journal.ran.size() == 3; });
            return all ? outcome : Status(Error{1, "solo", "test"});
        };
    };
    for (const char* name : {"a", "b"})
        ASSERT_TRUE(pool.Add(name, std::make_unique<ScriptedJob>(journal, name, together({})), {}));
    ASSERT_TRUE(pool.Add("c",
                         std::make_unique<ScriptedJob>(
                             journal, "c", together(Error{112, "disco lleno", "CopyFile"})),
                         {}));
    EXPECT_THAT(Outcomes(pool.Collect(true, {})),
                UnorderedElementsAre("a ok", "b ok", "c disco lleno"));
    EXPECT_THAT(journal.discarded, ElementsAre("c"));
    EXPECT_TRUE(pool.Collect(false, {}).empty());
}

// No exception leaves a copying thread (it would end the program): a copy that throws is a
// failed copy, discarded, and the pool goes on.
TEST(CopyPoolTest, ACopyThatThrowsIsAFailedCopy) {
    Journal journal;
    CopyPool pool(2, 8);
    auto throwing = [](auto exception) {
        return [exception](const GoOn&) -> Status { throw exception; };
    };
    ASSERT_TRUE(pool.Add(
        "memoria", std::make_unique<ScriptedJob>(journal, "memoria", throwing(std::bad_alloc())),
        {}));
    ASSERT_TRUE(pool.Add(
        "otra", std::make_unique<ScriptedJob>(journal, "otra", throwing(std::runtime_error("x"))),
        {}));
    ASSERT_TRUE(pool.Add(
        "bien",
        std::make_unique<ScriptedJob>(journal, "bien", [](const GoOn&) { return Status(); }), {}));
    std::vector<std::int32_t> numbers;
    for (const auto& f : pool.Collect(true, {}))
        numbers.push_back(f.status ? 0 : f.status.error().number);
    EXPECT_THAT(numbers, ::testing::UnorderedElementsAre(errnum::Win32(8), errnum::Internal, 0));
    EXPECT_THAT(journal.discarded, UnorderedElementsAre("memoria", "otra"));
}

TEST(CopyPoolTest, GoingDiscardsWhatWaitsAndStopsWhatRuns) {
    Journal journal;
    std::promise<void> started;
    auto pool = std::make_unique<CopyPool>(1, 8);
    ASSERT_TRUE(
        pool->Add("a",
                  std::make_unique<ScriptedJob>(
                      journal, "a",
                      [&](const GoOn& goOn) {
                          started.set_value();
                          for (int i = 0; i < 10000 && goOn(); ++i)
                              std::this_thread::sleep_for(1ms);
                          return goOn() ? Status() : Status(Error{1235, "cancelada", "CopyFile"});
                      }),
                  {}));
    for (const char* name : {"b", "c"})
        ASSERT_TRUE(pool->Add(
            name,
            std::make_unique<ScriptedJob>(journal, name, [](const GoOn&) { return Status(); }),
            {}));
    started.get_future().wait();
    pool.reset();
    EXPECT_THAT(journal.ran, ElementsAre("a"));
    EXPECT_THAT(journal.discarded, UnorderedElementsAre("a", "b", "c"));
}

TEST(CopyPoolTest, AFullPoolMakesTheCallerWaitAndAStopGivesUpTheNewCopy) {
    Journal journal;
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    CopyPool pool(1, 1);
    ASSERT_TRUE(pool.Add("a",
                         std::make_unique<ScriptedJob>(journal, "a",
                                                       [open](const GoOn&) {
                                                           open.wait();
                                                           return Status();
                                                       }),
                         {}));
    int asked = 0;
    EXPECT_FALSE(pool.Add(
        "b", std::make_unique<ScriptedJob>(journal, "b", [](const GoOn&) { return Status(); }),
        [&] { return ++asked < 3; }));
    EXPECT_EQ(asked, 3);
    EXPECT_THAT(journal.discarded, ElementsAre("b"));
    gate.set_value();
    EXPECT_THAT(Outcomes(pool.Collect(true, {})), ElementsAre("a ok"));
    EXPECT_THAT(journal.ran, ElementsAre("a"));
}

} // namespace
} // namespace vqx
