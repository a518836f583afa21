// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "averaging_body.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#endif

#include "item_stream.h"
#include "run_state_fixture.h"

namespace averaging {
namespace {

using ApplyFooTest = RunStateTest;

// What a queue holds, as its size and head.
std::pair<std::size_t, int> held(const concurrent_queue<int>& q) {
  return {q.size(), q.size() == 0 ? 0 : *q.unsafe_begin()};
}

// Stands in for the running parallel_while: records what each extra item's queue holds at the
// moment the body hands it over, or fails the hand-over.
struct recording_run {
  std::vector<std::pair<std::size_t, int>> added;
  bool fails = false;
  void add(concurrent_queue<int>* item) {
    if (fails) throw std::bad_alloc();
    added.push_back(held(*item));
  }
};

// The rule the body states for any count, not only the 1000 and 1001 a run reaches: an extra
// item, already holding 1000, at every multiple of 100, none elsewhere; none for an empty queue;
// a hand-over that fails reaches the caller and raises no count.
// Then applied at the same moments on more threads than CPUs: every head is added, as reading
// never removes it, no add is lost, and the raised count adds no second item.
class ExtraItemRuleTest : public RunStateTest, public testing::WithParamInterface<int> {};

TEST_P(ExtraItemRuleTest, AddsOneFullExtraItemExactlyAtMultiplesOf100AndLosesNoAdd) {
  constexpr int threads = 8;
  constexpr int applications = 125000;
  const int count_before = GetParam();
  const bool at_multiple = count_before % 100 == 0;
  count = count_before;
  fill(queue, 2);
  recording_run run;
  concurrent_queue<int> empty;
  testing::internal::CaptureStdout();
  apply_to_item(&empty, &run);
  EXPECT_EQ(count.load(), count_before) << "an empty queue added an item";
  run.fails = true;
  if (at_multiple) {
    EXPECT_THROW(apply_to_item(&queue, &run), std::bad_alloc);
  }
  EXPECT_EQ(count.load(), count_before) << "a failed hand-over raised the count";
  run.fails = false;
  std::atomic<int> starting{threads};
  std::vector<std::thread> applying;
  for (int t = 0; t < threads; ++t) {
    applying.emplace_back([&] {
      for (starting.fetch_sub(1); starting.load() > 0;) std::this_thread::yield();
      for (int i = 0; i < applications; ++i) apply_to_item(&queue, &run);
    });
  }
  for (std::thread& thread : applying) thread.join();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), at_multiple ? "++" : "");
  EXPECT_EQ(total.load(), 11.0 * (threads * applications + (at_multiple ? 1 : 0)));
  EXPECT_EQ(queue.size(), 2u);
  EXPECT_EQ(count.load(), count_before + (at_multiple ? 1 : 0));
  using added_items = std::vector<std::pair<std::size_t, int>>;
  EXPECT_EQ(run.added, (at_multiple ? added_items{{1u, 1000}} : added_items()));
}

INSTANTIATE_TEST_SUITE_P(Counts, ExtraItemRuleTest,
                         testing::Values(900, 1100, 2000, 999, 1001, 1099),
                         testing::PrintToStringParamName());

#ifdef __linux__
// Holds the first hand-over until a second application sleeps on the count's lock, and then lets
// the scheduler run that one the moment the lock is free (the first thread at idle priority, both
// on one CPU): it must find the count raised already.
struct slow_hand_over_run {
  std::atomic<int> hand_overs{0};
  std::atomic<pid_t> waiter{0};           // the second application's thread, once it is on its way
  std::atomic<bool> waiter_slept{false};  // seen asleep on the lock while the first held it
  void add(concurrent_queue<int>*) {
    if (hand_overs.fetch_add(1) > 0) return;
    const sched_param none{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) != 0) return;
    waiter.wait(0);
    const std::string stat_path = "/proc/self/task/" + std::to_string(waiter.load()) + "/stat";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (std::string stat; !waiter_slept && std::chrono::steady_clock::now() < deadline;) {
      std::getline(std::ifstream(stat_path), stat);
      waiter_slept = stat.find(") S ") != std::string::npos;  // the state follows the name
      std::this_thread::yield();
    }
  }
};

TEST_F(ApplyFooTest, AnApplicationWaitingForTheCountFindsItRaisedByTheHandOver) {
  constexpr int rounds = 5;
  cpu_set_t one_cpu;  // the one this thread runs on
  CPU_ZERO(&one_cpu);
  CPU_SET(sched_getcpu(), &one_cpu);
  const auto on_one_cpu = [&one_cpu] {
    return pthread_setaffinity_np(pthread_self(), sizeof one_cpu, &one_cpu) == 0;
  };
  bool bound = false;
  std::thread([&] { bound = on_one_cpu(); }).join();
  if (!bound) GTEST_SKIP() << "a thread cannot be bound to one CPU here";
  testing::internal::CaptureStdout();
  for (int round = 0; round < rounds; ++round) {
    reset();
    count = 1000;
    fill(queue, 1);
    slow_hand_over_run run;
    std::thread first([&] {
      on_one_cpu();  // as the probe above was
      apply_to_item(&queue, &run);
    });
    std::thread second([&] {
      on_one_cpu();
      while (run.hand_overs.load() == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
      run.waiter = gettid();
      run.waiter.notify_one();
      apply_to_item(&queue, &run);
    });
    second.join();
    const sched_param none{};
    pthread_setschedparam(first.native_handle(), SCHED_OTHER, &none);
    first.join();
    // Not held up, the second application may not have reached the lock: a weaker check.
    EXPECT_TRUE(run.waiter_slept) << "round " << round << ": no application slept on the lock";
    EXPECT_EQ(run.hand_overs.load(), 1) << "round " << round;
    EXPECT_EQ(count.load(), 1001) << "round " << round;
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(rounds, '+'));
}
#endif

// The whole run as the program does it, many body applications testing count at once.
class WholeRunTest : public RunStateTest, public testing::WithParamInterface<int> {
 protected:
  // Runs ApplyFoo over `stream` from a count of 1000 and `values` in the queue, on at most as many
  // threads as the parameter says, joined at the end as the program's own run joins them: one
  // extra item must be added.
  template <typename Stream>
  void run_adding_one_extra_item(Stream& stream, int values) {
    reset();
    fill(queue, values);
    count = 1000;
    testing::internal::CaptureStdout();
    tbb_layer::task_scheduler_init pool(GetParam());
    tbb_layer::parallel_while<ApplyFoo> w;
    w.run(stream, ApplyFoo{&w});
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "+");
    ASSERT_EQ(count.load(), 1001);
    ASSERT_EQ(extra_queues.size(), 1u);
  }
};

// Yields the shared queue `size` times without removing anything, so every application reads the
// same head and the exact total is known.
struct non_draining_stream {
  int size;
  bool pop_if_present(ApplyFoo::argument_type& item) {
    item = &queue;
    return size-- > 0;
  }
};

// Many applications adding at once: each head must be added once, the extra item's 1000 once.
// Then the real stream, 20 times: it drains the queue, with heads read while it removes them.
TEST_P(WholeRunTest, AddsExactlyOneExtraItemLosesNoAddAndDrainsTheQueue) {
  constexpr int items = 100000;
  non_draining_stream same_head{items};
  ASSERT_NO_FATAL_FAILURE(run_adding_one_extra_item(same_head, 1));
  EXPECT_EQ(total.load(), 11.0 * items + 1000.0);
  EXPECT_EQ(held(*extra_queues[0]), std::make_pair(std::size_t{1}, 1000));
  for (int repetition = 0; repetition < 20; ++repetition) {
    ItemStream stream(queue);
    ASSERT_NO_FATAL_FAILURE(run_adding_one_extra_item(stream, 1000));
    ASSERT_EQ(queue.size(), 0u);
    ASSERT_GE(total.load(), 1010.0);
    ASSERT_LE(total.load(), 12000.0);
    ASSERT_EQ(total.load(), std::floor(total.load()));
  }
}

INSTANTIATE_TEST_SUITE_P(ThreadCounts, WholeRunTest, testing::Values(1, 2, 8, 16),
                         testing::PrintToStringParamName());

}  // namespace
}  // namespace averaging
