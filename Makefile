# The two commands a newcomer needs: `make run` and `make test`. Both install
# what is missing (as root), configure and build first.

BUILD ?= build
JOBS ?= 2

.PHONY: all deps build test run clean

all: build

deps:
	@scripts/deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# The whole suite runs in a private network namespace with loopback only.
test: build
	scripts/netns-run ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) --timeout 300

run: build
	scripts/run-demo $(BUILD)

clean:
	rm -rf $(BUILD)
