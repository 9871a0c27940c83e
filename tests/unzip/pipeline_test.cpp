// The pipeline that spreads the expander's work over threads: what a run
// tells comes out in the order of its steps, whatever order the jobs end in.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "tools/unzip/pipeline.h"

namespace unzip {
namespace {

TEST(ThreadCount, TheSettingWinsWhenItIsAWholeNumberAndNoCountPassesTheLimit) {
  struct Case {
    const char* setting;
    unsigned processors;
    unsigned expected;
  };
  const Case cases[] = {
      {nullptr, 2, 2},  {nullptr, 32, 8}, {nullptr, 0, 1},  {"1", 4, 1},    {"3", 2, 3},
      {"8", 2, 8},      {"9", 2, 8},      {"99999999999", 2, 8},            {"0", 4, 4},
      {"", 4, 4},       {"two", 4, 4},    {"2x", 4, 4},     {"-1", 4, 4},   {" 2", 4, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ThreadCount(c.setting, c.processors), c.expected)
        << (c.setting ? c.setting : "(unset)") << " with " << c.processors << " processors";
  }
}

// Records what is taken, in order.
struct Taken {
  std::vector<std::string> texts;
  std::vector<int> statuses;
  std::function<void(Outcome&)> Taker() {
    return [this](Outcome& outcome) {
      texts.push_back(outcome.out + outcome.err);
      statuses.push_back(outcome.status);
    };
  }
};

// A flag one job raises and another waits for.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return open; });
  }
};

TEST(Pipeline, OutcomesAreTakenInStepOrderWhenALaterJobEndsFirst) {
  Taken taken;
  Gate laterDone;
  {
    Pipeline pipeline(3, taken.Taker());
    pipeline.Record({"first", "", 0});
    const uint64_t slow = pipeline.Reserve();
    pipeline.Submit({slow}, [&](unsigned, std::vector<Outcome>* outcomes) {
      laterDone.Wait();  // ends only after the later job
      (*outcomes)[0].out = "slow";
    });
    pipeline.Record({"between", "", 0});
    const uint64_t a = pipeline.Reserve(), b = pipeline.Reserve();
    pipeline.Submit({a, b}, [&](unsigned, std::vector<Outcome>* outcomes) {
      (*outcomes)[0].out = "fast a";
      (*outcomes)[1].err = "fast b";
      (*outcomes)[1].status = 2;
      laterDone.Open();
    });
    pipeline.Record({"last", "", 1});
    pipeline.WaitForAll();
  }
  EXPECT_EQ(taken.texts, (std::vector<std::string>{"first", "slow", "between", "fast a", "fast b", "last"}));
  EXPECT_EQ(taken.statuses, (std::vector<int>{0, 0, 0, 0, 2, 1}));
}

TEST(Pipeline, WaitForReturnsOnlyOnceTheStepAndAllBeforeItAreTaken) {
  Taken taken;
  Gate release;
  Pipeline pipeline(2, taken.Taker());
  const uint64_t held = pipeline.Reserve();
  pipeline.Submit({held}, [&](unsigned, std::vector<Outcome>* outcomes) {
    release.Wait();
    (*outcomes)[0].out = "held";
  });
  const uint64_t next = pipeline.Reserve();
  pipeline.Submit({next}, [](unsigned, std::vector<Outcome>* outcomes) { (*outcomes)[0].out = "next"; });
  std::thread opener([&] { release.Open(); });
  pipeline.WaitFor(next);
  EXPECT_EQ(pipeline.taken(), next + 1);
  EXPECT_EQ(taken.texts, (std::vector<std::string>{"held", "next"}));
  opener.join();
}

TEST(Pipeline, WithOneThreadEachJobRunsAtOnceOnTheCallingThread) {
  Taken taken;
  Pipeline pipeline(1, taken.Taker());
  std::vector<unsigned> threads;
  for (int i = 0; i < 3; ++i) {
    const uint64_t step = pipeline.Reserve();
    bool ran = false;
    pipeline.Submit({step}, [&](unsigned thread, std::vector<Outcome>* outcomes) {
      threads.push_back(thread);
      (*outcomes)[0].out = std::to_string(step);
      ran = true;
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(pipeline.taken(), step + 1);
  }
  EXPECT_EQ(threads, (std::vector<unsigned>{0, 0, 0}));
  EXPECT_EQ(taken.texts, (std::vector<std::string>{"0", "1", "2"}));
}

TEST(Pipeline, AJobOutOfMemoryFailsItsOwnStepsOnly) {
  Taken taken;
  {
    Pipeline pipeline(2, taken.Taker());
    const uint64_t a = pipeline.Reserve(), b = pipeline.Reserve();
    pipeline.Submit({a, b}, [](unsigned, std::vector<Outcome>* outcomes) {
      (*outcomes)[0].err = "told before\n";
      (*outcomes)[0].status = 2;
      throw std::bad_alloc();
    });
    pipeline.Record({"after", "", 0});
    pipeline.WaitForAll();
  }
  EXPECT_EQ(taken.texts, (std::vector<std::string>{"told before\n", "unzip: out of memory\n", "after"}));
  EXPECT_EQ(taken.statuses, (std::vector<int>{3, 3, 0}));
}

TEST(Pipeline, ManyJobsOnManyThreadsComeOutInOrder) {
  Taken taken;
  std::vector<std::string> expected;
  {
    Pipeline pipeline(kMaxThreads, taken.Taker());
    for (int job = 0; job < 2000; ++job) {
      if (job % 7 == 0) {
        pipeline.Record({"r" + std::to_string(job), "", 0});
        expected.push_back("r" + std::to_string(job));
      }
      std::vector<uint64_t> steps;
      for (int i = 0; i <= job % 3; ++i) {
        steps.push_back(pipeline.Reserve());
        expected.push_back(std::to_string(job) + "." + std::to_string(i));
      }
      pipeline.Submit(steps, [job](unsigned, std::vector<Outcome>* outcomes) {
        for (size_t i = 0; i < outcomes->size(); ++i) (*outcomes)[i].out = std::to_string(job) + "." + std::to_string(i);
      });
    }
    pipeline.WaitForAll();
  }
  EXPECT_EQ(taken.texts, expected);
}

}  // namespace
}  // namespace unzip
