// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The task-library facilities the program is written against: a concurrent queue with a
// non-blocking pop, a scheduler object that starts and really stops the worker pool, and a
// parallel-while that draws items from a stream and lets a running body add more. Each is a thin
// layer over oneTBB 2021, which no longer offers them under these names.
#pragma once

#include <oneapi/tbb/concurrent_queue.h>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/parallel_for_each.h>
#include <oneapi/tbb/task_arena.h>

#include <atomic>
#include <cassert>
#include <cstddef>
#include <exception>
#include <iterator>
#include <new>
#include <optional>
#include <type_traits>

namespace tbb_layer {

// First-in first-out queue. push and pop_if_present are safe from any thread; size and
// unsafe_begin are not, so callers that use them alongside a pop must hold a lock of their own.
template <typename T>
class concurrent_queue {
 public:
  using const_iterator = typename tbb::concurrent_queue<T>::const_iterator;

  void push(const T& value) { my_queue.push(value); }

  // Removes the oldest value into `value` if there is one; never waits.
  bool pop_if_present(T& value) { return my_queue.try_pop(value); }

  std::size_t size() const noexcept { return my_queue.unsafe_size(); }

  // Positioned at the oldest value; its storage may be released by a concurrent pop.
  const_iterator unsafe_begin() const noexcept { return my_queue.unsafe_begin(); }

 private:
  tbb::concurrent_queue<T> my_queue;
};

// Throws std::bad_alloc unless `bytes` of address space are free right now; takes none of it.
void ensure_free_address_space(std::size_t bytes);

// What must be free when the scheduler is set up: twice the about 4 MiB that the setup takes.
inline constexpr std::size_t scheduler_setup_address_space = std::size_t{8} << 20;

// Owns the worker pool for as long as it is initialized. Terminating joins the workers, so no
// thread of the pool outlives the object.
class task_scheduler_init {
 public:
  static constexpr int automatic = -1;
  static constexpr int deferred = -2;

  explicit task_scheduler_init(int number_of_threads = automatic) {
    if (number_of_threads != deferred) initialize(number_of_threads);
  }
  task_scheduler_init(const task_scheduler_init&) = delete;
  task_scheduler_init& operator=(const task_scheduler_init&) = delete;
  // Torn down by an exception, it releases the pool without waiting: after a worker thread
  // failed to start, oneTBB would wait for it forever.
  ~task_scheduler_init() {
    if (is_active() && std::uncaught_exceptions() == my_uncaught_at_init) terminate();
  }

  // `automatic` lets the library size the pool; a positive count caps it, the caller included.
  void initialize(int number_of_threads = automatic) {
    assert(!is_active() && "task_scheduler_init initialized twice");
    assert((number_of_threads == automatic || number_of_threads > 0) && "invalid thread count");
    if (number_of_threads > 0) {
      using control = tbb::global_control;
      const auto cap = static_cast<std::size_t>(number_of_threads);
      my_cap.emplace(control::max_allowed_parallelism, cap);  // GCOVR_EXCL_BR_LINE: oneTBB's pools
    }
    my_handle = tbb::task_scheduler_handle{tbb::attach{}};
    my_uncaught_at_init = std::uncaught_exceptions();
    set_up_scheduler();
  }

  // Waits until every worker thread has ended. Must not be called from inside a parallel run.
  void terminate() {
    assert(is_active() && "task_scheduler_init terminated while not initialized");
    [[maybe_unused]] const bool joined = tbb::finalize(my_handle, std::nothrow);
    assert(joined && "worker threads still in use at terminate");
    my_cap.reset();
  }

  bool is_active() const { return static_cast<bool>(my_handle); }

 private:
  // oneTBB 2022 sets its scheduler up while holding a lock that its own out-of-memory path takes
  // again, so a shortage there spins forever. So the setup happens here, right after a check that
  // the memory it needs (about 4 MiB) is free; a shortage is then a std::bad_alloc from the check.
  static void set_up_scheduler() {
    ensure_free_address_space(scheduler_setup_address_space);
    tbb::this_task_arena::isolate([] {});  // the first entry into the scheduler sets it up
  }

  tbb::task_scheduler_handle my_handle;
  std::optional<tbb::global_control> my_cap;
  int my_uncaught_at_init = 0;
};

// Input iterator over a stream's pop_if_present: each increment takes the next item, and the
// iterator equals the end iterator once the stream reports it is exhausted.
template <typename Stream, typename Item>
class stream_iterator {
 public:
  using iterator_concept = std::input_iterator_tag;
  using iterator_category = std::input_iterator_tag;
  using value_type = Item;
  using difference_type = std::ptrdiff_t;
  using pointer = const Item*;
  using reference = const Item&;

  stream_iterator() = default;  // the end
  explicit stream_iterator(Stream& stream) : my_stream(&stream) { fetch(); }

  reference operator*() const { return my_item; }
  pointer operator->() const { return &my_item; }
  stream_iterator& operator++() {
    fetch();
    return *this;
  }
  stream_iterator operator++(int) {
    stream_iterator previous = *this;
    fetch();
    return previous;
  }
  friend bool operator==(const stream_iterator& a, const stream_iterator& b) {
    return a.my_stream == b.my_stream;
  }

 private:
  void fetch() {
    if (!my_stream->pop_if_present(my_item)) my_stream = nullptr;
  }

  Stream* my_stream = nullptr;  // null once exhausted
  Item my_item{};
};

// Applies a body to every item of a stream, several at a time; a running body application may
// add further items, which are processed before run returns. Items are `Body::argument_type`.
template <typename Body>
class parallel_while {
 public:
  using argument_type = typename Body::argument_type;
  // oneTBB before 2021.9 destroys every item slot of a block read from a stream, also those of a
  // short last block that it never built: undefined behaviour for an item with a destructor.
  static_assert(TBB_INTERFACE_VERSION >= 12090 || std::is_trivially_destructible_v<argument_type>,
                "oneTBB before 2021.9 destroys item slots it never built: with it, parallel_while "
                "takes only items whose destructor is trivial");

  parallel_while() = default;
  parallel_while(const parallel_while&) = delete;
  parallel_while& operator=(const parallel_while&) = delete;

  // Returns once the stream is exhausted and every body application, added ones included, has
  // returned. Items are read in blocks of at most four, each started before the next is read.
  template <typename Stream>
  void run(Stream& stream, const Body& body) {
    const clear_feeder_on_exit clear{my_feeder};
    tbb::parallel_for_each(stream_iterator<Stream, argument_type>{stream},
                           stream_iterator<Stream, argument_type>{}, application{*this, body});
  }

  // Only valid from inside a body application of the run in progress.
  void add(const argument_type& item) {
    feeder_type* const feeder = my_feeder.load(std::memory_order_relaxed);
    assert(feeder != nullptr && "parallel_while::add called outside a body application");
    feeder->add(item);
  }

 private:
  using feeder_type = tbb::feeder<argument_type>;

  struct clear_feeder_on_exit {
    std::atomic<feeder_type*>& feeder;
    ~clear_feeder_on_exit() { feeder.store(nullptr, std::memory_order_relaxed); }
  };

  // What oneTBB applies to each item: records the run's feeder for add, then calls the body.
  struct application {
    parallel_while& owner;
    const Body& body;
    void operator()(const argument_type& item, feeder_type& feeder) const {
      // One feeder serves the whole run, so it is stored once rather than written per item.
      if (owner.my_feeder.load(std::memory_order_relaxed) != &feeder) {
        owner.my_feeder.store(&feeder, std::memory_order_relaxed);
      }
      body(item);
    }
  };

  // Atomic because every body application reads it while the first ones may store it; relaxed
  // suffices as the feeder itself was built before any body application started. A cache line
  // of its own, so that writes to a stream kept beside this object do not evict it on every read.
  alignas(64) std::atomic<feeder_type*> my_feeder{nullptr};
};

}  // namespace tbb_layer
