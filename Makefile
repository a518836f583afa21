# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# The program's entry points; each installs the Debian packages it needs first.
BUILD_JOBS ?= 2
BUILD      := build/release

BASE_PACKAGES := g++ cmake make libtbb-dev libgtest-dev
# The end-to-end test asks gdb where a crash under a memory limit happened, and has libfiu's
# fiu-run fail allocations at random.
TEST_PACKAGES := $(BASE_PACKAGES) gdb fiu-utils

# Every file a build makes carries the commit's time, not the clock's, so that two builds of
# one commit give byte-identical packages. A caller's own value wins; outside git there is none.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
ifneq ($(SOURCE_DATE_EPOCH),)
export SOURCE_DATE_EPOCH
endif

.PHONY: run test deps test-deps

deps:
	scripts/install-deps.sh $(BASE_PACKAGES)

test-deps:
	scripts/install-deps.sh $(TEST_PACKAGES)

# Under continuous integration (CI=true) a warning in the project's code fails the build.
WARNINGS_AS_ERRORS := $(if $(filter true,$(CI)),-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(WARNINGS_AS_ERRORS)

run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(BUILD_JOBS) --target averaging
	$(BUILD)/averaging

# A run that finds no test fails.
test: test-deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(BUILD_JOBS)
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(BUILD_JOBS)

# The fault-injection sweeps alone, with the count of runs per outcome (make test runs them too).
.PHONY: fault-injection
fault-injection: test-deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(BUILD_JOBS)
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -R FaultInjection -V | \
	  grep -E ": [0-9]+ (calls|runs)|tests passed"

# What CI keeps: every C++ file as clang-format writes it, every shell script free of
# shellcheck's warnings, and every file's licence and copyright stated as REUSE asks.
.PHONY: lint
lint:
	scripts/install-deps.sh git clang-format shellcheck reuse
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
	git grep -lz -E '^#!.*\b(ba)?sh' -- . | xargs -0 shellcheck -S warning
	reuse lint

# Sanitizer builds and memcheck; each reports through a non-zero exit.
SANITIZER_PACKAGES := $(BASE_PACKAGES) dpkg-dev valgrind
SUITE_REPEATS      ?= 3
export ASAN_OPTIONS  := detect_leaks=1:halt_on_error=1:abort_on_error=0
export UBSAN_OPTIONS := halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS  := halt_on_error=1:second_deadlock_stack=1

# $(call build_preset,NAME) configures and builds the CMake preset NAME in build/NAME;
# $(call test_preset,NAME,CTEST_ARGUMENTS) runs its suite.
build_preset = cmake --preset $(1) && cmake --build build/$(1) -j $(BUILD_JOBS)
test_preset  = ctest --test-dir build/$(1) --output-on-failure --no-tests=error -j $(BUILD_JOBS) \
               $(2)

.PHONY: asan tsan memcheck

asan:
	scripts/install-deps.sh $(SANITIZER_PACKAGES)
	$(call build_preset,asan)
	$(call test_preset,asan)

# Against Debian's uninstrumented libtbb a clean run would prove nothing.
tsan:
	scripts/install-deps.sh $(SANITIZER_PACKAGES)
	$(call build_preset,tsan)
	if ldd build/tsan/averaging build/tsan/tests/unit_tests | grep 'libtbb\.so' | \
	   grep -v ' => $(CURDIR)/build/onetbb/tsan/install/lib/'; then \
	  echo 'tsan: that is not the instrumented oneTBB of build/onetbb/tsan' >&2; exit 1; \
	fi
	$(call test_preset,tsan,--repeat until-fail:$(SUITE_REPEATS))

memcheck: deps $(BUILD)/CMakeCache.txt
	scripts/install-deps.sh valgrind
	cmake --build $(BUILD) -j $(BUILD_JOBS) --target averaging
	for run in 1 2 3; do \
	  valgrind --quiet --error-exitcode=1 --leak-check=full \
	    --show-leak-kinds=definite,indirect,possible \
	    --errors-for-leak-kinds=definite,indirect,possible $(BUILD)/averaging || exit 1; \
	done
	@echo 'memcheck: no errors, nothing lost'

# The suite built by clang++ in place of g++, every warning an error.
.PHONY: test-clang
test-clang:
	scripts/install-deps.sh $(TEST_PACKAGES) clang
	$(call build_preset,clang)
	$(call test_preset,clang)

# Benchmarks: release build, repetitions interleaved at random, medians turned into ratios.
BENCH_PACKAGES    := $(BASE_PACKAGES) libbenchmark-dev python3
BENCH_REPETITIONS ?= 11
BENCH_MIN_TIME    ?= 0.2

.PHONY: bench bench-build

bench-build:
	scripts/install-deps.sh $(BENCH_PACKAGES)
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DAVERAGING_BUILD_TESTS=OFF \
	  -DAVERAGING_BUILD_BENCHMARKS=ON
	cmake --build build/bench -j $(BUILD_JOBS) --target layer_bench

bench: bench-build
	build/bench/bench/layer_bench --benchmark_repetitions=$(BENCH_REPETITIONS) \
	  --benchmark_min_time=$(BENCH_MIN_TIME) --benchmark_enable_random_interleaving=true \
	  --benchmark_report_aggregates_only=true --benchmark_out_format=json \
	  --benchmark_out=build/bench/results.json >build/bench/console.txt
	python3 bench/ratios.py build/bench/results.json

# 32-bit x86: the suite on i386 Linux, and as Windows console programs under Wine. Where the kernel
# refuses 32-bit programs (or I386_EXECUTION=emulated says so), i386 Linux programs run under
# qemu-i386, and Windows programs are tested as 64-bit ones under wine64, never Wine under qemu.
export I386_EXECUTION
I386_PACKAGES    := $(TEST_PACKAGES) g++-multilib libtbb-dev:i386 libgtest-dev:i386
WINDOWS_PACKAGES := cmake make dpkg-dev file libtbb-dev googletest g++-mingw-w64-i686-posix \
                    g++-mingw-w64-x86-64-posix wine

.PHONY: test-i386 test-windows test-windows64

test-i386:
	scripts/install-deps.sh $(I386_PACKAGES)
	$(call build_preset,i386)
	way=$$(scripts/i386-execution.sh) && I386_EXECUTION=$$way $(call test_preset,i386)

# The 32-bit suite under Wine where 32-bit programs run; elsewhere it must still build, and the
# 64-bit suite runs instead.
test-windows:
	scripts/install-deps.sh $(WINDOWS_PACKAGES)
	$(call build_preset,windows)
	if [ "$$(scripts/i386-execution.sh)" = native ]; then \
	  scripts/install-deps.sh wine32:i386 && \
	  scripts/wine-run.sh win32 $(call test_preset,windows); \
	else \
	  echo "32-bit Windows suite built, not run; the 64-bit suite runs under wine64" && \
	  $(MAKE) --no-print-directory test-windows64; \
	fi

test-windows64:
	scripts/install-deps.sh $(WINDOWS_PACKAGES) wine64
	$(call build_preset,windows64)
	scripts/wine-run.sh win64 $(call test_preset,windows64)

# Other Debian architectures, ARCH=arm64, armhf, riscv64, ppc64el or s390x: cross-built with
# Debian's g++ for it (dpkg-architecture names its triplet) against that architecture's packages,
# the suite run under qemu-user.
ARCHES := arm64 armhf riscv64 ppc64el s390x

.PHONY: arch-deps test-arch test-all-arch

arch-deps:
	@[ -n "$(filter $(ARCHES),$(ARCH))" ] || { echo "ARCH must be one of: $(ARCHES)" >&2; exit 1; }
	scripts/install-deps.sh dpkg-dev
	scripts/install-deps.sh cmake make file qemu-user libtbb-dev:$(ARCH) libgtest-dev:$(ARCH) \
	  g++-$$(dpkg-architecture -a$(ARCH) -qDEB_HOST_GNU_TYPE 2>/dev/null)

test-arch: arch-deps
	$(call build_preset,$(ARCH))
	$(call test_preset,$(ARCH))
	@emulator=$$(sed -n 's/^AVERAGING_EMULATOR:INTERNAL=//p' build/$(ARCH)/CMakeCache.txt) && \
	  echo "$(ARCH): the suite ran under $$emulator, $$($$emulator --version | head -n 1)"

# Every architecture in turn; each one's packages stay on this machine.
test-all-arch:
	for arch in $(ARCHES); do $(MAKE) --no-print-directory test-arch ARCH=$$arch || exit 1; done

# Packages in build/packages: Debian's from dpkg-buildpackage on a copy of the source in
# build/debian (it writes beside the source), the suite run at build time (with ARCH a cross build,
# without it); the source package, .deb, -dbgsym, .buildinfo, .changes and build log. Zips of the
# 32-bit and the 64-bit Windows program with the DLLs each loads; SHA256SUMS of them all.
PACKAGE_PACKAGES := $(TEST_PACKAGES) build-essential dpkg-dev debhelper
checksums = cd build/packages && ls *.deb *.zip 2>/dev/null | xargs sha256sum >SHA256SUMS
DEB_ARCH = $(or $(ARCH),$(shell dpkg --print-architecture))

.PHONY: package package-windows

package: $(if $(ARCH),arch-deps)
	scripts/install-deps.sh $(PACKAGE_PACKAGES)
	rm -rf --one-file-system build/debian && mkdir -p build/debian/averaging build/packages
	tar -c --exclude-vcs --exclude=./build . | tar -x -C build/debian/averaging
	cd build/debian/averaging && env -u SOURCE_DATE_EPOCH bash -o pipefail -c 'dpkg-buildpackage \
	  --no-sign $(if $(ARCH),-a$(ARCH) -Pcross$(comma)nocheck -B) 2>&1 | tee ../averaging_$(DEB_ARCH).build'
	mv build/debian/averaging[_-]* build/packages/
	$(checksums)

# The packages of make package as Debian's tools judge them: lintian, pedantic, on the .changes
# (the source package and both .deb) finds nothing to say, and blhc finds every hardening flag in
# the build's log. debian/control names Debian 13's Standards-Version; an older lintian that does
# not know it would say so, and only that tag is suppressed there.
.PHONY: check-package
check-package:
	scripts/install-deps.sh lintian blhc
	standards=$$(sed -n 's/^Standards-Version: //p' debian/control) && \
	  lintian --pedantic --display-info --fail-on error,warning,info,pedantic \
	  $$(grep -qsF "\"$$standards.0\"" /usr/share/lintian/data/debian-policy/releases.json || \
	     echo --suppress-tags newer-standards-version) build/packages/averaging_*.changes
	blhc build/packages/averaging_*.build

# $(call zip_preset,NAME) builds the program of the Windows preset NAME and zips it.
zip_preset = cmake --preset $(1) >/dev/null && \
             cmake --build build/$(1) -j $(BUILD_JOBS) --target averaging && \
             cd build/$(1) && cpack -G ZIP

# CPack adds a zip's files in the order the file system lists them, with their times and owners;
# strip-nondeterminism sorts them and sets each to the commit's time.
package-windows:
	scripts/install-deps.sh $(WINDOWS_PACKAGES) strip-nondeterminism
	$(call zip_preset,windows)
	$(call zip_preset,windows64)
	strip-nondeterminism $(if $(SOURCE_DATE_EPOCH),--timestamp $(SOURCE_DATE_EPOCH)) \
	  build/packages/*.zip
	$(checksums)

# reprotest builds the packages twice from a clone of HEAD, varying all this machine allows (file
# order only with FUSE; no second user, so not user and group); diffoscope shows a difference.
# oneTBB's source is fetched first: under a clock a year ahead the archive's indexes have expired.
# nocheck: under faketime the fault tests would take libfaketime's writes for the program's.
comma := ,
REPROTEST_VARY := -user_group$(if $(wildcard /dev/fuse),,$(comma)-fileordering)

.PHONY: reproducible
reproducible:
	scripts/install-deps.sh $(WINDOWS_PACKAGES) $(PACKAGE_PACKAGES) strip-nondeterminism git \
	  reprotest faketime disorderfs diffoscope-minimal
	rm -rf --one-file-system build/reprotest
	git clone -q . build/reprotest/source
	scripts/fetch-onetbb-source.sh build/reprotest/source/build/onetbb/source
	reprotest --vary=$(REPROTEST_VARY) --store-dir=build/reprotest/artifacts \
	  -c 'DEB_BUILD_OPTIONS=nocheck make --no-print-directory package package-windows' \
	  build/reprotest/source '$(addprefix build/packages/,*.dsc *.tar.xz *.deb *.zip SHA256SUMS)'
