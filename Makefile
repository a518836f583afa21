# The program's entry points; each installs the Debian packages it needs first.
BUILD_JOBS ?= 2
BUILD      := build/release

BASE_PACKAGES := g++ cmake make libtbb-dev libgtest-dev

.PHONY: run test deps

deps:
	scripts/install-deps.sh $(BASE_PACKAGES)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(BUILD_JOBS) --target averaging
	$(BUILD)/averaging

test: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(BUILD_JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(BUILD_JOBS)
