# The two commands of the README, and the steps they are made of.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run test deps build sanitize clean bench fuzz soak

run: deps build
	./tools/run-saver.sh $(BUILD)/nereval

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Frame cost against the floor program, under a virtual X server and headless
# (tools/bench-frames.sh; results in $(BUILD)/bench-frames.md, see docs/performance.md).
bench: deps build
	./tools/bench-frames.sh $(BUILD)

deps:
	./tools/install-deps.sh

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer. Leak
# reports are off: Mesa leaks small blocks from its unloaded driver.
sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNEREVAL_SANITIZE=ON -DNEREVAL_BENCH=OFF
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j$(JOBS)

# Every reader of outside data under libFuzzer (clang, address and undefined
# sanitizers) for FUZZ_SECONDS each, seeded from the project's own files
# (tools/run-fuzz.sh; the targets are in tests/fuzz/).
FUZZ_SECONDS ?= 60
fuzz: deps
	./tools/install-deps.sh fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNEREVAL_FUZZ=ON -DNEREVAL_BENCH=OFF
	cmake --build build-fuzz -j$(JOBS) --target fuzz_all
	./tools/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

# The whole frame loop headless with the heaviest settings for SOAK_SECONDS
# of wall time (build/tools/soak; a line per 10 simulated minutes).
SOAK_SECONDS ?= 600
soak: deps build
	$(BUILD)/tools/soak --seconds $(SOAK_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
