// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The coverage build's writer of counters, in every program that links averaging_core: at exit
// and at _Exit (linked with --wrap=_Exit) it adds the program's counters to the .gcda files,
// allocating nothing. libgcov's own writer allocates, so it fails where memory ran out, and it
// never runs at _Exit. The objects list their counters in the section gcov_info, and GCC's
// __gcov_info_to_gcda turns each into its .gcda stream, in the machine's byte order: magic,
// version, stamp, checksum, then records of a tag, a length in bytes and that many bytes, the same
// records in every run of one build. An arcs record holds 64-bit counts, low word first, or none
// when all are zero, its length then negated. A file of another build, or too large to read, is
// replaced: counts lost make coverage fail, never pass.
#include <fcntl.h>
#include <gcov.h>
#include <stdint.h>
#include <time.h>
#include <unistd.h>

enum { header_words = 4, tag_arcs = 0x01a10000, old_capacity = 1 << 18, block_words = 1024 };

extern const struct gcov_info* const __start_gcov_info[];
extern const struct gcov_info* const __stop_gcov_info[];

static struct {
  int fd, merging;                  // merging while the file matches the stream read so far
  uint32_t old[old_capacity];       // the file as it was
  size_t old_words, old_next;       // its length and its next record
  const uint32_t* old_counts;       // the file's counts for the arcs record being read, or NULL
  uint32_t old_length;              // and their length in bytes
  uint32_t word, tag, left, carry;  // the word being put together; its record; the words to come
  size_t bytes, index;              // of the stream so far; of the word in its record
  int phase;                        // 0: a tag is next, 1: a length, 2: the record's words
  uint32_t block[block_words];      // what is written next, at `written`
  size_t filled;
  off_t written;
} out;

static void flush(void) {
  const size_t bytes = out.filled * sizeof *out.block;
  if (bytes > 0 && pwrite(out.fd, out.block, bytes, out.written) == (ssize_t)bytes) {
    out.written += (off_t)bytes;
  }
  out.filled = 0;
}

static void emit(uint32_t word) {
  out.block[out.filled++] = word;
  if (out.filled == block_words) flush();
}

static void open_gcda(const char* name, void* unused) {
  (void)unused;
  out.fd = name == NULL ? -1 : open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  struct flock whole = {.l_type = F_WRLCK, .l_whence = SEEK_SET};  // against other programs at it
  if (out.fd >= 0 && fcntl(out.fd, F_SETLKW, &whole) != 0) close(out.fd), out.fd = -1;
  if (out.fd < 0) return;
  size_t bytes = 0;
  for (ssize_t got = 1; got > 0 && bytes < sizeof out.old; bytes += (size_t)got) {
    got = pread(out.fd, (char*)out.old + bytes, sizeof out.old - bytes, (off_t)bytes);
    if (got < 0) got = 0;
  }
  out.old_words = bytes < sizeof out.old ? bytes / 4 : 0;
  out.merging = out.old_words >= header_words;
  out.old_next = header_words, out.bytes = 0, out.phase = 0, out.filled = 0, out.written = 0;
}

// Takes the file's record for `tag`, if it is next there.
static void find_old_record(uint32_t tag) {
  const uint32_t* const at = out.old + out.old_next;
  out.old_counts = NULL;
  out.merging = out.merging && out.old_next + 2 <= out.old_words && at[0] == tag;
  if (!out.merging) return;
  const int32_t length = (int32_t)at[1];
  out.old_next += 2 + (length > 0 ? (size_t)length / 4 : 0);
  out.merging = out.old_next <= out.old_words;
  if (out.merging && tag == tag_arcs && length > 0) out.old_counts = at + 2, out.old_length = at[1];
}

static void take(uint32_t word) {
  if (out.bytes <= header_words * 4) {
    out.merging = out.merging && out.old[out.bytes / 4 - 1] == word;
    emit(word);
  } else if (out.phase == 0) {
    find_old_record(word);
    out.tag = word, out.phase = 1;
    emit(word);
  } else if (out.phase == 1) {
    const int32_t length = (int32_t)word;
    const uint32_t magnitude = (uint32_t)(length < 0 ? -length : length);
    if (out.old_counts != NULL && out.old_length != magnitude)
      out.merging = 0, out.old_counts = NULL;
    out.left = length > 0 ? magnitude / 4 : 0, out.index = 0, out.phase = out.left > 0 ? 2 : 0;
    emit(out.old_counts != NULL ? magnitude : word);
    // Counts in the file, none in the stream: the file's, as they are.
    for (uint32_t i = 0; length < 0 && out.old_counts != NULL && i < magnitude / 4; ++i) {
      emit(out.old_counts[i]);
    }
  } else {
    uint32_t result = word;
    if (out.old_counts != NULL && out.index % 2 == 0) {
      result = word + out.old_counts[out.index], out.carry = result < word;
    } else if (out.old_counts != NULL) {
      result = word + out.old_counts[out.index] + out.carry;
    }
    emit(result);
    ++out.index;
    if (--out.left == 0) out.phase = 0;
  }
}

static void on_data(const void* data, unsigned length, void* unused) {
  (void)unused;
  for (const unsigned char* byte = data; out.fd >= 0 && length-- > 0; ++byte) {
    ((unsigned char*)&out.word)[out.bytes++ % 4] = *byte;
    if (out.bytes % 4 == 0) take(out.word);
  }
}

// Only value profiles take memory, and a coverage build has none.
static void* no_allocation(unsigned bytes, void* unused) { return (void)bytes, (void)unused, NULL; }

static void write_counters(void) {
  // Two threads may end the process at once (exit and _Exit): the first writes, the other waits.
  static int started, finished;
  if (__atomic_exchange_n(&started, 1, __ATOMIC_ACQ_REL)) {
    const struct timespec pause = {0, 1000000};
    while (!__atomic_load_n(&finished, __ATOMIC_ACQUIRE)) nanosleep(&pause, NULL);
    return;
  }
  for (const struct gcov_info* const* info = __start_gcov_info; info < __stop_gcov_info; ++info) {
    __gcov_info_to_gcda(*info, open_gcda, on_data, no_allocation, NULL);
    if (out.fd < 0) continue;
    flush();
    const int truncated = ftruncate(out.fd, out.written);  // the rest, if any, is an older run's
    (void)truncated;
    close(out.fd);
  }
  __atomic_store_n(&finished, 1, __ATOMIC_RELEASE);
}

// Last of the program's own destructors, after every static object's.
__attribute__((destructor(101))) static void write_at_exit(void) { write_counters(); }

_Noreturn void __real__Exit(int status);
_Noreturn void __wrap__Exit(int status) {
  // Another thread failing at this moment first reaches its wait in the terminate handler, so
  // that its counts are written too.
  const struct timespec settle = {0, 100000000};
  nanosleep(&settle, NULL);
  write_counters();
  __real__Exit(status);
}
