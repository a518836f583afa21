// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// How the program ends when it cannot finish: one line on standard error, "averaging: " and
// what went wrong, then exit status 1.
#pragma once

#include <exception>
#include <string_view>

namespace averaging {

// Writes "averaging: <what>" (and ": <reason>" when there is one) as one line on standard
// error; returns 1, the exit status of every failure. Allocates nothing, so it still works
// when memory has run out.
int report_failure(std::string_view what, std::string_view reason = {}) noexcept;

// What went wrong, in a few words, for the exception being handled (inside a catch, or in a
// terminate handler): "out of memory" for std::bad_alloc and for no exception at all, what() of
// any other std::exception. Allocates nothing; the text lives as long as the exception does.
const char* describe_current_exception() noexcept;

// Makes std::terminate report the exception that caused it (unless a failure's line has been
// written already) and end the process with status 1, without an abort or a core dump: oneTBB
// raises some failures (a worker thread that cannot start) on worker threads or in noexcept paths,
// where no catch of the program's can see them.
void report_failures_on_terminate() noexcept;

}  // namespace averaging
