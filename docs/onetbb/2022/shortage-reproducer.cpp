// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// oneTBB 2022 and 2023 when memory runs short while the library sets itself up. Each mode runs
// a child process under every address-space limit of a sweep, 64 KiB apart:
//   setup        the child sets the scheduler up, limited to what it has mapped plus 0 to 16 MiB.
//                Where the first allocation to fail is one made while the global controls are
//                locked, throwing it takes that lock again and the child spins forever.
//   initializer  the child is this program, started again under 1 to 24 MiB: only the loader
//                and oneTBB's initializer run. Where the initializer's first allocation fails,
//                throwing it reads a control not built yet and the child dies with SIGSEGV.
// Exits 0 where every child ends right (runs, catches std::bad_alloc or another exception, or
// is refused by the loader: 127); 124 at the first child still running after 5 s; 128 + N at
// the first child killed by signal N; another child's status as it is. Build: g++ -std=c++20
// shortage-reproducer.cpp -ltbb.
#include <fcntl.h>
#include <oneapi/tbb/parallel_for.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

constexpr long kib = 1024;

long mapped_address_space() {
  long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return pages * sysconf(_SC_PAGESIZE);
}

// The exit status of `child` (run in a process of its own under `limit` bytes), 124 when it
// still runs after 5 s, or 128 + the signal that killed it.
template <typename Child>
int run_limited(long limit, Child child) {
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit bound{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    setrlimit(RLIMIT_AS, &bound);
    _exit(child());
  }
  int status = 0;
  for (int tenths = 0; waitpid(pid, &status, WNOHANG) == 0; ++tenths) {
    if (tenths == 50) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return 124;
    }
    usleep(100000);
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int set_up_the_scheduler() {
  try {
    tbb::parallel_for(0, 1000, [](int) {});
    return 0;
  } catch (const std::exception&) {
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool setup = argc == 2 && std::strcmp(argv[1], "setup") == 0;
  if (!setup && !(argc == 2 && std::strcmp(argv[1], "initializer") == 0)) {
    if (argc == 2 && std::strcmp(argv[1], "started") == 0) return 0;  // the initializer's child
    std::fprintf(stderr, "usage: %s setup | initializer\n", argv[0]);
    return 2;
  }
  const long base = setup ? mapped_address_space() : 0;
  int ended[3] = {};  // ran, caught an exception, refused by the loader
  for (long limit = base + (setup ? 0 : 1024 * kib); limit <= base + (setup ? 16 : 24) * 1024 * kib;
       limit += 64 * kib) {
    const int status = setup ? run_limited(limit, set_up_the_scheduler) : run_limited(limit, [&] {
      dup2(open("/dev/null", O_WRONLY), 2);  // the loader's refusals are expected
      execl("/proc/self/exe", argv[0], "started", static_cast<char*>(nullptr));
      return 127;
    });
    if (status == 0 || status == 1 || status == 127) {
      ++ended[status == 127 ? 2 : status];
      continue;
    }
    std::printf("%s: under %ld KiB%s, the child %s\n", argv[1], (limit - base) / kib,
                setup ? " more than it had mapped" : "",
                status == 124  ? "still runs after 5 s: killed"
                : status > 128 ? strsignal(status - 128)
                               : "ends with an unexpected status");
    return status;
  }
  std::printf(
      "%s: every child ended right: %d ran, %d caught an exception, %d refused by the "
      "loader\n",
      argv[1], ended[0], ended[1], ended[2]);
  return 0;
}
