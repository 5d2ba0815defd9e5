// The batch's finishing threads: flushes overlap, names come in the order of the hand-overs,
// a failed flush names nothing, and what is not named when the batch goes is discarded.
#include "platform/FinishingQueue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>

namespace vqx {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

struct Journal {
    std::mutex mutex;
    std::vector<std::string> named, discarded;
    void Note(std::vector<std::string>& list, const std::string& what) {
        std::lock_guard lock(mutex);
        list.push_back(what);
    }
};

// A copy whose flush ends when the test says so, with the outcome the test gives.
class GatedJob : public FinishingQueue::Job {
public:
    GatedJob(Journal& journal, std::string name, std::shared_future<Status> flushed,
             std::function<void()> onDiscard = {})
        : journal_(journal), name_(std::move(name)), flushed_(std::move(flushed)),
          onDiscard_(std::move(onDiscard)) {}
    ~GatedJob() override {
        if (named_)
            return;
        journal_.Note(journal_.discarded, name_);
        if (onDiscard_)
            onDiscard_();
    }
    Status Flush() override { return flushed_.get(); }
    Status Name(const GoOn&) override {
        named_ = true;
        journal_.Note(journal_.named, name_);
        return {};
    }

private:
    Journal& journal_;
    std::string name_;
    std::shared_future<Status> flushed_;
    std::function<void()> onDiscard_;
    bool named_ = false;
};

TEST(FinishingQueueTest, NamesInOrderOnlyWhatReachedTheDiskAndDiscardsTheRestWhenItGoes) {
    Journal journal;
    std::promise<Status> gates[5];
    auto queue = std::make_unique<FinishingQueue>(3, 8);
    for (int i = 0; i < 5; ++i) {
        const std::string name = std::string("f").append(std::to_string(i));
        // f4 is discarded only once the batch is going; f3's flush then ends.
        std::function<void()> onDiscard;
        if (i == 4)
            onDiscard = [&] { gates[3].set_value({}); };
        ASSERT_TRUE(
            queue->Add(name,
                       std::make_unique<GatedJob>(journal, name, gates[i].get_future().share(),
                                                  std::move(onDiscard)),
                       {}));
    }

    // Later flushes end first; nothing is named before the first copy is on the disk.
    gates[2].set_value({});
    gates[1].set_value(Error{112, "disco lleno", "CopyFile"});
    EXPECT_TRUE(queue->Collect(false, {}).empty());
    gates[0].set_value({});
    // f0 to f2 end; f3 and f4 still wait for their flush.
    std::vector<CopyBatch::Finished> finished;
    for (int tries = 0; finished.size() < 3 && tries < 500; ++tries) {
        for (auto& f : queue->Collect(false, {}))
            finished.push_back(std::move(f));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_THAT(journal.named, ElementsAre("f0", "f2"));
    std::vector<std::string> outcome;
    for (const auto& f : finished)
        outcome.push_back(f.target + (f.status ? " ok" : " " + f.status.error().description));
    EXPECT_THAT(outcome, ElementsAre("f0 ok", "f1 disco lleno", "f2 ok"));

    // The batch goes with f3 flushing and f4 flushed but not named: neither takes its name.
    gates[4].set_value({});
    queue.reset();
    EXPECT_THAT(journal.named, ElementsAre("f0", "f2"));
    EXPECT_THAT(journal.discarded, UnorderedElementsAre("f1", "f3", "f4"));
}

TEST(FinishingQueueTest, AFullQueueMakesTheCallerWaitAndAStopGivesUpTheNewCopy) {
    Journal journal;
    std::promise<Status> gate;
    FinishingQueue queue(1, 1);
    ASSERT_TRUE(
        queue.Add("a", std::make_unique<GatedJob>(journal, "a", gate.get_future().share()), {}));
    int asked = 0;
    std::promise<Status> never;
    EXPECT_FALSE(queue.Add("b",
                           std::make_unique<GatedJob>(journal, "b", never.get_future().share()),
                           [&] { return ++asked < 3; }));
    EXPECT_EQ(asked, 3);
    EXPECT_THAT(journal.discarded, ElementsAre("b"));
    gate.set_value({});
    EXPECT_EQ(queue.Collect(true, {}).size(), 1u);
    EXPECT_THAT(journal.named, ElementsAre("a"));
}

} // namespace
} // namespace vqx
