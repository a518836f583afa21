// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "tbb_layer.h"

#include <gtest/gtest.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h first: the snapshot API builds on its types.
#include <tlhelp32.h>
#endif

#ifndef _WIN32
#include "address_space.h"
#endif
#include "emulation.h"

namespace {

using tbb_layer::parallel_while;
using tbb_layer::task_scheduler_init;

// Yields 0, 1, ..., size - 1, or throws at the first if it fails, but holds back the items past
// the first blocks until some body application has begun, so a run that read the stream to
// exhaustion before applying the body would fail instead of never finishing.
struct counting_stream {
  static constexpr int stall_at = 9;
  int size;
  bool fails = false;
  std::atomic<int> next{0};
  std::atomic<bool> body_began{false};
  bool pop_if_present(int& item) {
    if (fails) throw std::runtime_error("stream failed");
    const int taken = next.fetch_add(1);
    if (taken >= size) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (taken >= stall_at && !body_began.load()) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "no body application began while the stream was read";
        return false;
      }
      std::this_thread::yield();
    }
    item = taken;
    return true;
  }
};

// Counts every application per item and throws on `failing_item`; items below `chain_limit` that
// are multiples of 3 add the item `stride` above them, so added items add further items.
struct slot_body {
  using argument_type = int;
  parallel_while<slot_body>* w;
  counting_stream* stream;
  std::vector<std::atomic<int>>* slots;
  int stride;
  int chain_limit;
  int failing_item = -1;
  static bool adds(int item, int chain_limit) { return item % 3 == 0 && item < chain_limit; }
  void operator()(int item) const {
    stream->body_began = true;
    if (item == failing_item) throw std::runtime_error("item failed");
    (*slots)[static_cast<std::size_t>(item)].fetch_add(1);
    if (adds(item, chain_limit)) w->add(item + stride);
  }
};

using ParallelWhileTest = testing::TestWithParam<int>;

// One object runs a stream whose body throws and one that throws itself, then an empty one (an item
// from it would be a second application of item 0) and a full one, on a pool of at most the
// parameter's threads.
TEST_P(ParallelWhileTest,
       ABodyExceptionReachesTheCallerThenEveryItemIsAppliedOnceFromBeforeTheStreamEnds) {
  constexpr int stream_items = 999;
  constexpr int chain_limit = 3 * stream_items;
  std::vector<std::atomic<int>> slots(4 * stream_items);
  counting_stream failing{100}, broken{1, true}, empty{0}, stream{stream_items};
  // Joined when the test ends: a worker still running at exit can crash 32-bit Wine's own exit.
  task_scheduler_init pool(GetParam());
  parallel_while<slot_body> w;
  EXPECT_THROW(w.run(failing, slot_body{&w, &failing, &slots, 100, 100, 50}), std::runtime_error);
  EXPECT_THROW(w.run(broken, slot_body{&w, &broken, &slots, 100, 100}), std::runtime_error);
  for (std::atomic<int>& slot : slots) slot = 0;
  w.run(empty, slot_body{&w, &empty, &slots, stream_items, chain_limit});
  w.run(stream, slot_body{&w, &stream, &slots, stream_items, chain_limit});
  // Once each: the streamed items and those added by the items `stream_items` below them.
  std::vector<bool> applied(slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const std::size_t from = i - stream_items;  // the item that adds item i, if any
    applied[i] =
        i < stream_items || (applied[from] && slot_body::adds(static_cast<int>(from), chain_limit));
    ASSERT_EQ(slots[i].load(), applied[i] ? 1 : 0) << "item " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(ThreadCounts, ParallelWhileTest, testing::Values(1, 2, 8, 16),
                         testing::PrintToStringParamName());

// Counts the threads of this process; the pool's workers are among them while they live.
#ifdef _WIN32
std::size_t thread_count() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  std::size_t threads = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++threads;
  }
  CloseHandle(snapshot);
  return threads;
}
#else
std::size_t thread_count() {
  const std::filesystem::path tasks{"/proc/self/task"};
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator{tasks},
                                                std::filesystem::directory_iterator{}));
}
#endif

// Under qemu-user the join of a thread returns just before its host thread ends; there the count
// is read again until those ends have landed.
std::size_t settled_thread_count() {
  std::size_t count = thread_count();
  for (int reading = 0; !emulator.empty() && reading < 100; ++reading) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::size_t now = thread_count();
    if (now == count) break;
    count = now;
  }
  return count;
}

// Sleeps a millisecond 64 times in a parallel loop; returns the threads that ran it.
std::set<std::thread::id> threads_running_a_parallel_loop() {
  std::mutex ids_mutex;  // guards ids
  std::set<std::thread::id> ids;
  tbb::parallel_for(0, 64, [&](int) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::scoped_lock lock(ids_mutex);
    ids.insert(std::this_thread::get_id());
  });
  return ids;
}

// Gives the pool work until a worker thread has started, beyond `without_workers`.
void start_workers(std::size_t without_workers) {
  for (int attempt = 0; attempt < 100 && thread_count() == without_workers; ++attempt) {
    threads_running_a_parallel_loop();
  }
}

#ifndef _WIN32
TEST(TaskSchedulerInitTest, TheSetupsMemoryCheckLeavesNothingMapped) {
  if (!emulator.empty()) GTEST_SKIP() << "the address space read would be the emulator's";
  const std::size_t before = mapped_address_space();
  ASSERT_NE(before, 0u);
  ASSERT_NO_THROW(tbb_layer::ensure_free_address_space(std::size_t{8} << 20));  // what setup asks
  EXPECT_EQ(mapped_address_space(), before);
}
#endif

// A count of one keeps the work on the calling thread; its termination then joins whatever pool
// earlier tests left running, to know the count without workers (a sanitizer runtime starts its
// own helper thread at the first thread creation). After a worker thread failed to start, oneTBB
// would wait for it forever: so a scheduler object torn down by an exception leaves its pool to
// the next termination instead of joining it.
TEST(TaskSchedulerInitTest,
     CountOfOneRunsOnTheCallerTerminateEndsWorkersButAnExceptionsTearDownDoesNot) {
  if (tbb::this_task_arena::max_concurrency() < 2) GTEST_SKIP() << "one CPU: no worker threads";
  task_scheduler_init one(task_scheduler_init::deferred);  // deferred, it starts nothing yet
  EXPECT_FALSE(one.is_active());
  one.initialize(1);
  EXPECT_EQ(threads_running_a_parallel_loop(),
            std::set<std::thread::id>{std::this_thread::get_id()});
  one.terminate();
  std::thread([] {}).join();
  const std::size_t without_workers = settled_thread_count();
  try {
    task_scheduler_init init(2);
    start_workers(without_workers);
    ASSERT_GT(thread_count(), without_workers) << "no worker thread ever started";
    throw std::runtime_error("unwinding");
  } catch (const std::runtime_error&) {
  }
  EXPECT_GT(settled_thread_count(), without_workers);
  task_scheduler_init init(2);
  start_workers(without_workers);
  init.terminate();
  EXPECT_FALSE(init.is_active());
  EXPECT_EQ(settled_thread_count(), without_workers);
}

}  // namespace
