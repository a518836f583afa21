# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# The program's entry points, each installing the Debian packages it needs first (debian/control
# names the build's, a target any other): `make help` lists them. Options: CMakePresets.json.

# Every file a build makes carries the commit's time, not the clock's, so that two builds of
# one commit give byte-identical packages. A caller's own value wins; outside git there is none.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
ifneq ($(SOURCE_DATE_EPOCH),)
export SOURCE_DATE_EPOCH
endif

install := scripts/install-deps.sh
# $(call build,PRESET[,TARGET]) configures and builds the CMake preset PRESET.
build = cmake --preset $(1) && cmake --build --preset $(1) $(if $(2),--target $(2))
comma := ,
.PHONY: $(shell sed -nE 's/^([a-z0-9 -]+):.*## .*/\1/p' $(MAKEFILE_LIST))  # every target, as help lists them

help: ## this list
	@sed -nE 's/^([a-z0-9% -]+):.*## (.*)/\1\t\2/p' $(MAKEFILE_LIST) | \
	  awk -F '\t' '{ printf "  %-20s %s\n", $$1, $$2 }'

deps: ## debian/control's build and test dependencies (the build configures the tests)
	$(install) --build-deps
build/release/CMakeCache.txt: | deps
	cmake --preset release
run: deps build/release/CMakeCache.txt ## build and run the program
	cmake --build --preset release --target averaging
	build/release/averaging
release-build: deps build/release/CMakeCache.txt ## the release build of the program and the suite
	cmake --build --preset release
test: release-build ## the whole suite
	ctest --preset release
test-one-cpu: release-build ## the suite with everything it starts on one CPU
	taskset -c 0 ctest --preset release

# A control group's quota of one CPU, by which oneTBB 2022.3 and later size their pool.
quota = $(firstword $(wildcard /sys/fs/cgroup/cpu) /sys/fs/cgroup)/averaging-one-cpu
check-cpu-quota: release-build ## the report contract under a control group's quota of one CPU
	if mkdir -p $(quota) 2>/dev/null && { echo '100000 100000' >$(quota)/cpu.max || \
	   echo 100000 >$(quota)/cpu.cfs_quota_us; } 2>/dev/null; then \
	  sh -c 'echo $$$$ >$(quota)/cgroup.procs && exec build/release/tests/program_tests \
	    --gtest_filter=ProgramTest.EveryRunKeepsTheReportContract'; status=$$?; \
	  grep -E 'nr_(periods|throttled)' $(quota)/cpu.stat; rmdir $(quota); exit $$status; \
	else rmdir $(quota) 2>/dev/null; echo "check-cpu-quota: skipped, no CPU quota can be set here"; fi

# Releases whose archive serves no oneTBB source (forky: 2023.1.0.orig.tar.xz, 404 Not Found): their
# sweeps run on the patched headers with Debian's library, and excuse its faults as the suite does.
SOURCELESS_RELEASES := forky
fault-injection: deps ## every fault sweep with its runs per outcome, against oneTBB built patched
	cmake --preset onetbb-patched -DAVERAGING_PATCHED_ONETBB=$(if $(filter $(OWN_RELEASE),$(SOURCELESS_RELEASES)),headers,library)
	cmake --build --preset onetbb-patched
	bash -o pipefail -c 'ctest --preset fault-injection | grep -E ": [0-9]+ (calls|runs)|right:|% tests passed"'

lint: ## clang-format, shellcheck and reuse lint over every tracked file
	$(install) git clang-format shellcheck reuse
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
	git grep -lz -E '^#!.*\b(ba)?sh' -- . | xargs -0 shellcheck -S warning
	reuse lint

asan tsan test-clang: deps ## the suite under ASan and UBSan, under TSan 3 times, built by clang
	$(if $(filter test-clang,$@),$(install) clang)
	$(call build,$(@:test-%=%)) && ctest --preset $(@:test-%=%)
# Against Debian's uninstrumented libtbb a clean run would prove nothing.
	$(if $(filter tsan,$@),! ldd build/tsan/averaging build/tsan/tests/unit_tests | \
	  grep 'libtbb\.so' | grep -v ' => $(CURDIR)/build/onetbb/tsan/install/lib/')
coverage: deps ## the suite's coverage of src/ by gcovr, failing below 100% of lines or branches
	$(install) gcovr && $(call build,coverage) && find build/coverage -name '*.gcda' -delete
	ctest --preset coverage && gcovr -r . -f src/ -s --fail-under-line 100 --fail-under-branch 100 build/coverage

memcheck: deps build/release/CMakeCache.txt ## valgrind on the program: no errors, nothing lost
	$(install) valgrind
	cmake --build --preset release --target averaging
	for run in 1 2 3; do valgrind --quiet --error-exitcode=1 --leak-check=full \
	  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
	  build/release/averaging || exit 1; done

BENCH_REPETITIONS ?= 11
BENCH_MIN_TIME ?= 0.2
bench-build: deps ## the benchmarks' release build
	$(install) libbenchmark-dev python3
	$(call build,bench,layer_bench averaging onetbb_floor)

bench: bench-build ## the benchmarks, runs interleaved: the layer's and the whole program's ratios of medians
	build/bench/bench/layer_bench --benchmark_repetitions=$(BENCH_REPETITIONS) \
	  --benchmark_min_time=$(BENCH_MIN_TIME) --benchmark_enable_random_interleaving=true \
	  --benchmark_report_aggregates_only=true --benchmark_out_format=json \
	  --benchmark_out=build/bench/results.json >build/bench/console.txt
	python3 bench/ratios.py build/bench/results.json && python3 bench/process_bench.py build/bench/averaging build/bench/bench/onetbb_floor

# Other Debian architectures: the cross preset (i386 runs natively where the kernel lets it).
ARCHES := i386 arm64 armhf riscv64 ppc64el s390x

arch-deps: ## ARCH's build and test dependencies, its cross g++ and qemu-user
	@[ -n "$(filter $(ARCHES),$(ARCH))" ] || { echo "ARCH must be one of: $(ARCHES)" >&2; exit 1; }
	$(install) dpkg-dev
	$(install) --build-deps -a $(ARCH)
	$(install) file qemu-user g++-$$(dpkg-architecture -a$(ARCH) -qDEB_HOST_GNU_TYPE)

test-arch: arch-deps ## ARCH=i386, arm64, armhf, riscv64, ppc64el or s390x: the suite for it
	$(if $(filter i386,$(ARCH)),I386_EXECUTION=$$(scripts/i386-execution.sh) &&) \
	  export ARCH=$(ARCH) I386_EXECUTION && $(call build,cross) && ctest --preset cross
	@emulator=$$(sed -n 's/^AVERAGING_EMULATOR:INTERNAL=//p' build/$(ARCH)/CMakeCache.txt) && \
	  echo "$(ARCH): the suite ran $${emulator:+under $$($$emulator --version | head -n 1)}$$([ -n "$$emulator" ] || echo natively)"

test-all-arch: ## every architecture of ARCHES in turn
	for arch in $(ARCHES); do $(MAKE) --no-print-directory test-arch ARCH=$$arch || exit 1; done

# Never Wine under qemu: where 32-bit programs do not run, the 64-bit Windows suite runs instead.
WINDOWS_PACKAGES := cmake make dpkg-dev file libtbb-dev googletest g++-mingw-w64-i686-posix \
                    g++-mingw-w64-x86-64-posix wine
native_32bit = [ "$$(scripts/i386-execution.sh)" = native ]

test-windows: ## the suite as 32-bit Windows programs under Wine, or built and the 64-bit one run
	$(install) $(WINDOWS_PACKAGES)
	$(call build,windows)
	if $(native_32bit); then $(install) wine32:i386 && scripts/wine-run.sh win32 ctest --preset windows; \
	else echo "32-bit Windows suite built, not run" && $(MAKE) --no-print-directory test-windows64; fi

test-windows64: ## the suite as 64-bit Windows programs under wine64
	$(install) $(WINDOWS_PACKAGES) wine64
	$(call build,windows64)
	scripts/wine-run.sh win64 ctest --preset windows64

test-32bit: ## i386 Linux and Windows, each way this machine can run them
	$(MAKE) --no-print-directory test-arch ARCH=i386
	$(MAKE) --no-print-directory test-windows
	if $(native_32bit); then $(MAKE) --no-print-directory test-arch ARCH=i386 \
	  I386_EXECUTION=emulated && $(MAKE) --no-print-directory test-windows64; fi

# Packages in build/packages; dpkg-buildpackage runs on a copy in build/debian, as it writes beside.
checksums = cd build/packages && ls *.deb *.zip 2>/dev/null | xargs sha256sum >SHA256SUMS
DEB_ARCH = $(or $(ARCH),$(shell dpkg --print-architecture))

package: $(if $(ARCH),arch-deps,deps) ## the source package, .deb, build log (ARCH=: cross-built)
	rm -rf --one-file-system build/debian && mkdir -p build/debian/averaging build/packages
	tar -c --exclude-vcs --exclude=./build . | tar -x -C build/debian/averaging
	cd build/debian/averaging && env -u SOURCE_DATE_EPOCH bash -o pipefail -c 'dpkg-buildpackage \
	  --no-sign $(if $(ARCH),-a$(ARCH) -Pcross$(comma)nocheck -B) 2>&1 | tee ../averaging_$(DEB_ARCH).build'
	mv build/debian/averaging[_-]* build/packages/
	$(checksums)

# A tag on which releases' lintian disagree is suppressed where it is given: an older lintian knows
# not forky's Standards-Version; forky's tags compat 13 (12 has no 14) and defaults 12 lacks.
lintian_forky := package-uses-old-debhelper-compat-version,redundant-priority-optional-field,$\
                 redundant-rules-requires-root-no-field
check-package: ## lintian (pedantic, no tag) and blhc on what package made
	$(install) lintian blhc
	standards=$$(sed -n 's/^Standards-Version: //p' debian/control) && \
	  suppress=$$(grep -qsF "\"$$standards.0\"" /usr/share/lintian/data/debian-policy/releases.json \
	    || echo newer-standards-version,)$(lintian_$(OWN_RELEASE)) && \
	  lintian --pedantic --display-info --fail-on error,warning,info,pedantic \
	    $${suppress:+--suppress-tags "$${suppress%,}"} build/packages/averaging_*.changes
	blhc build/packages/averaging_*.build

# CPack zips files in the order the file system lists them: strip-nondeterminism sorts and dates.
package-windows: ## zips of the 32-bit and 64-bit Windows program with their DLLs and notices
	$(install) $(WINDOWS_PACKAGES) strip-nondeterminism
	for preset in windows windows64; do \
	  $(call build,$$preset,averaging) >/dev/null && (cd build/$$preset && cpack -G ZIP) || exit 1; \
	done
	strip-nondeterminism $(if $(SOURCE_DATE_EPOCH),--timestamp $(SOURCE_DATE_EPOCH)) \
	  build/packages/*.zip
	$(checksums)

# Varying all this machine allows (file order needs FUSE; user and group a second user). The oneTBB
# source first: a year ahead, the indexes have expired. nocheck: faketime's writes confuse the tests.
reproducible: deps ## reprotest: two builds of every package, compared by diffoscope
	$(install) $(WINDOWS_PACKAGES) strip-nondeterminism git quilt reprotest faketime disorderfs \
	  diffoscope-minimal
	rm -rf --one-file-system build/reprotest && git clone -q . build/reprotest/source
	scripts/fetch-onetbb-source.sh build/reprotest/source/build/onetbb/source
	reprotest --vary=-user_group$(if $(wildcard /dev/fuse),,$(comma)-fileordering) \
	  --store-dir=build/reprotest/artifacts \
	  -c 'DEB_BUILD_OPTIONS=nocheck make --no-print-directory package package-windows' \
	  build/reprotest/source '$(addprefix build/packages/,*.dsc *.tar.xz *.deb *.zip SHA256SUMS)'

# The two tiers. Each step's time goes to build/step-times.txt, which .ci/run shows.
BARE_RELEASES := bookworm trixie forky
OWN_RELEASE   := $(shell . /etc/os-release 2>/dev/null && echo $$VERSION_CODENAME)
check_steps         := test test-one-cpu lint test-clang asan tsan coverage memcheck bench-build
release-check_steps := test-32bit check-offline $(addprefix check-bare-,$(BARE_RELEASES)) \
                       check-own-packages reproducible check-arches
check release-check: ## the two tiers: check before sending a change, release-check the rest of CI
	@mkdir -p build && for step in $($@_steps); do \
	  start=$$(date +%s) && $(MAKE) --no-print-directory $$step || exit 1; \
	  echo "$$step: $$(($$(date +%s) - start)) s" | tee -a build/step-times.txt; \
	done

check-offline: ## the README's two commands with everything installed: no apt-get, no sudo
	rm -rf build/offline && mkdir -p build/offline
	for tool in apt-get sudo; do printf '#!/bin/sh\necho "%s called with everything installed" >&2\nexit 1\n' \
	  $$tool >build/offline/$$tool && chmod +x build/offline/$$tool; done
	PATH="$(CURDIR)/build/offline:$$PATH" bash -euxc "$$(scripts/readme-commands.sh)"

check-bare-%: ## a bare Debian %, bookworm say: two commands, packages made, judged, installed
	scripts/check-release.sh $*

check-own-packages: package package-windows ## this machine's .deb is the bare system's; the zips
	cmp build/packages/averaging_*_$(DEB_ARCH).deb build/bare-$(OWN_RELEASE)/averaging_*_$(DEB_ARCH).deb
	scripts/check-packages.sh

check-arches: ## arm64 and riscv64, each in a bare Debian 13, and arm64's package installed
	scripts/check-arches.sh trixie arm64 riscv64
