# The two commands a newcomer needs: `make run` and `make test`. Both install
# what is missing (as root), configure and build first.

BUILD ?= build
JOBS ?= 2
FUZZ_SECONDS ?= 300
PACKAGE_BUILD ?= build-deb

.PHONY: all deps build test test-plain test-asan test-tsan test-fuzz test-package package run bench fuzz clean

all: build

deps:
	@scripts/deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRDX_TESTS=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# The whole suite, in a private network namespace with loopback only; then
# the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, the
# threaded tests under ThreadSanitizer, a short run of every fuzzer, and the
# Debian package built and checked as a user meets it.
test: test-plain test-asan test-tsan test-fuzz test-package

test-plain: build
	scripts/netns-run ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) --timeout 300

test-asan: deps
	JOBS=$(JOBS) scripts/sanitize-test asan

test-tsan: deps
	JOBS=$(JOBS) scripts/sanitize-test tsan

test-fuzz: deps
	JOBS=$(JOBS) scripts/fuzz-run 15

# The .deb, in a hardened release tree of its own; the check unpacks it,
# runs the validators and lintian, and starts the installed programs in the
# loopback-only namespace.
package: deps
	JOBS=$(JOBS) scripts/build-package $(PACKAGE_BUILD)

test-package: package
	scripts/package-check $(PACKAGE_BUILD)

fuzz: deps
	JOBS=$(JOBS) scripts/fuzz-run $(FUZZ_SECONDS)

# Only what the demo starts, and the catalogues it speaks German from: a
# newcomer sees the window without compiling the test suite first.
RUN_TARGETS = rdx rdx-board-sim rdx-send rdx_catalogues

run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target $(RUN_TARGETS)
	scripts/run-demo $(BUILD)

# Release build; the benchmarks put themselves in a loopback-only namespace
# with their own X server.
bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRDX_TESTS=OFF
	cmake --build build-bench -j$(JOBS)
	bench/run build-bench

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-bench $(PACKAGE_BUILD)
