// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// How much address space this process has mapped (VmSize), read without allocating, so that the
// reading itself maps nothing.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

inline std::size_t mapped_address_space() {
  char status[8192];
  const int file = open("/proc/self/status", O_RDONLY);
  const ssize_t length = file < 0 ? -1 : read(file, status, sizeof status - 1);
  if (file >= 0) close(file);
  status[length > 0 ? length : 0] = '\0';
  const char* const line = std::strstr(status, "VmSize:");
  return line == nullptr ? 0 : std::strtoull(line + 7, nullptr, 10) * 1024;  // given in kB
}
