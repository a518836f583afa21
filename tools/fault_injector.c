// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// A preload that fails exactly the Nth call of one kind, counted across all threads from process
// start: allocations (malloc, calloc, realloc, the aligned ones, or all four counted as one),
// mmap, pthread_create, or the write(2) calls to standard output and error with ENOSPC, EIO,
// EINTR or a short write.
// Our own because libfiu fails a call only at random or the first time, and strace counts per
// thread; and no preloaded symbol sees the writes that glibc's stdio makes internally: those are
// trapped by a seccomp filter and carried out (or failed) by the SIGSYS handler, through writev.
//   FAULT_KIND   malloc calloc realloc aligned alloc (any of the four) mmap thread write-enospc
//                write-eio write-eintr write-short (a short write is a real partial write)
//   FAULT_AT     the first call to fail (1-based); FAULT_PATTERN which calls from there on fail:
//                "x" fails one, "." lets one through, a final "+" repeats the pattern (default
//                "x": once; "x+": every one; "x.xx": N, N+2 and N+3); FAULT_ALSO one more call
//                to fail (1 for malloc and alloc: the C++ runtime's emergency exception reserve)
//   FAULT_LOG    a file that gets one line per failed call ("malloc 7" is the 7th malloc, "write 2"
//                a write to descriptor 2) and, at a normal exit, "calls <kind> <n>" for every kind
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

enum kind { k_malloc, k_calloc, k_realloc, k_aligned, k_alloc, k_mmap, k_thread, k_write, kinds };
static const char* const kind_names[kinds] = {"malloc", "calloc", "realloc", "aligned",
                                              "alloc",  "mmap",   "thread",  "write"};

static unsigned long calls[kinds];  // atomically counted
static int chosen = -1;             // the kind that fails, or -1 before the settings are read
static int write_error;             // for the write kind: an errno, or 0 for a short write
static unsigned long first_failure, also;
static const char* pattern = "x";
static size_t pattern_length = 1;
static int pattern_repeats;
static int log_fd = -1;

static unsigned long number_in_env(const char* name, unsigned long otherwise) {
  const char* text = getenv(name);
  return text != NULL && *text != '\0' ? strtoul(text, NULL, 10) : otherwise;
}

// Read at the first call of any kind (the process is one thread then): getenv, strtoul and open
// allocate nothing.
static void read_settings(void) {
  if (__atomic_load_n(&chosen, __ATOMIC_ACQUIRE) != -1) return;
  const char* name = getenv("FAULT_KIND");
  int kind = kinds;
  static const struct {
    const char* name;
    int error;
  } writes[] = {
      {"write-enospc", ENOSPC}, {"write-eio", EIO}, {"write-eintr", EINTR}, {"write-short", 0}};
  for (int k = 0; name != NULL && k < k_write; ++k) {  // write has its own names, below
    if (strcmp(name, kind_names[k]) == 0) kind = k;
  }
  for (size_t w = 0; name != NULL && w < sizeof writes / sizeof *writes; ++w) {
    if (strcmp(name, writes[w].name) == 0) kind = k_write, write_error = writes[w].error;
  }
  first_failure = number_in_env("FAULT_AT", 0);
  const char* chosen_pattern = getenv("FAULT_PATTERN");
  if (chosen_pattern != NULL && strspn(chosen_pattern, "x.") > 0) pattern = chosen_pattern;
  pattern_length = strspn(pattern, "x.");
  pattern_repeats = pattern[pattern_length] == '+';
  also = number_in_env("FAULT_ALSO", 0);
  const char* log_path = getenv("FAULT_LOG");  // opened now: a library's initializer may fail first
  if (log_path != NULL) log_fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  __atomic_store_n(&chosen, kind, __ATOMIC_RELEASE);
}

static void log_line(const char* text, long number) {
  if (log_fd < 0) return;
  char line[64];
  const int length = snprintf(line, sizeof line, "%s %ld\n", text, number);
  if (length > 0 && write(log_fd, line, (size_t)length) < 0) return;  // no log then
}

// Whether call n of the chosen kind is one to fail.
static int chosen_to_fail(unsigned long n) {
  if (n == also) return 1;
  if (first_failure == 0 || n < first_failure) return 0;
  unsigned long index = n - first_failure;
  if (pattern_repeats) index %= pattern_length;
  return index < pattern_length && pattern[index] == 'x';
}

// Counts this call of `kind` (and of every allocation kind as `alloc`); true when it is to fail.
static int fails(int kind) {
  read_settings();
  unsigned long n = __atomic_add_fetch(&calls[kind], 1, __ATOMIC_RELAXED);
  if (kind < k_alloc) {
    const unsigned long any = __atomic_add_fetch(&calls[k_alloc], 1, __ATOMIC_RELAXED);
    if (chosen == k_alloc) kind = k_alloc, n = any;
  }
  if (kind != chosen || !chosen_to_fail(n)) return 0;
  if (kind != k_write) log_line(kind_names[kind], (long)n);
  return 1;
}

void* malloc(size_t size) {
  if (fails(k_malloc)) return errno = ENOMEM, NULL;
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  if (fails(k_calloc)) return errno = ENOMEM, NULL;
  return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
  if (fails(k_realloc)) return errno = ENOMEM, NULL;
  return __libc_realloc(block, size);
}

void* memalign(size_t alignment, size_t size) {
  if (fails(k_aligned)) return errno = ENOMEM, NULL;
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** block, size_t alignment, size_t size) {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* const result = memalign(alignment, size);
  if (result == NULL) return ENOMEM;
  *block = result;
  return 0;
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  if (fails(k_mmap)) return errno = ENOMEM, MAP_FAILED;
  return (void*)syscall(SYS_mmap, address, length, protection, flags, fd, offset);
}

typedef int create_function(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                   void* argument) {
  static create_function* real_create;
  if (real_create == NULL) *(void**)&real_create = dlsym(RTLD_NEXT, "pthread_create");
  if (fails(k_thread)) return EAGAIN;  // what glibc says when it cannot start a thread
  return real_create(thread, attributes, start, argument);
}

// Every write(2) to descriptor 1 or 2 lands here (the filter below traps it); the handler
// carries it out with writev, which the filter lets through, or fails it. x86-64 registers.
static void on_trapped_write(int signal, siginfo_t* info, void* context) {
  (void)signal, (void)info;
  greg_t* const registers = ((ucontext_t*)context)->uc_mcontext.gregs;
  const int saved_errno = errno;
  const int fd = (int)registers[REG_RDI];
  struct iovec data = {(void*)registers[REG_RSI], (size_t)registers[REG_RDX]};
  long result;
  if (fails(k_write)) {
    log_line("write", fd);
    if (write_error != 0) {
      registers[REG_RAX] = -write_error;
      errno = saved_errno;
      return;
    }
    if (data.iov_len > 1) data.iov_len /= 2;
  }
  result = syscall(SYS_writev, fd, &data, 1);
  registers[REG_RAX] = result < 0 ? -errno : result;
  errno = saved_errno;
}

static void trap_writes_to_standard_streams(void) {
  struct sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 3, 1, 0),  // descriptors 1 and 2 (and 0)
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const struct sock_fprog filter = {sizeof program / sizeof *program, program};
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_sigaction = on_trapped_write;
  action.sa_flags = SA_SIGINFO;
  if (sigaction(SIGSYS, &action, NULL) != 0 || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
    static const char message[] = "fault_injector: cannot trap writes\n";
    syscall(SYS_writev, 2, &(struct iovec){(void*)message, sizeof message - 1}, 1);
    _exit(125);
  }
}

__attribute__((constructor)) static void start(void) {
  read_settings();
  if (chosen == k_write || log_fd >= 0) trap_writes_to_standard_streams();
}

// Only after a normal exit: a count of each kind, for a sweep to know how far to go.
__attribute__((destructor)) static void finish(void) {
  char line[32];
  for (int k = 0; k < kinds; ++k) {
    snprintf(line, sizeof line, "calls %s", kind_names[k]);
    log_line(line, (long)__atomic_load_n(&calls[k], __ATOMIC_RELAXED));
  }
}
