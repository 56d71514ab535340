# The two commands of the README, and the steps they are made of.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: run test deps deps-test bench-deps build build-saver sanitize clean bench install deb deb-check fuzz soak

# `make run` installs and builds only the saver; `make test` everything else too.
run: deps build-saver
	./tools/run-saver.sh $(BUILD)/nereval

test: deps-test build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Frame cost against the floor program and the comparable savers atlantis and
# glschool, under a virtual X server and headless (tools/bench-frames.sh;
# results in $(BUILD)/bench-frames.md, see docs/performance.md).
bench: bench-deps build
	./tools/bench-frames.sh $(BUILD)

deps:
	./tools/install-deps.sh

deps-test:
	./tools/install-deps.sh --test

bench-deps:
	./tools/install-deps.sh --test --bench

# Installs the saver under PREFIX (and DESTDIR): the hack where XScreenSaver
# looks, bin/nereval, the settings page, the manual page, the desktop entry.
PREFIX ?= /usr/local
install: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j$(JOBS) --target nereval
	DESTDIR=$(DESTDIR) cmake --install $(BUILD)

# The Debian package, $(BUILD)/nereval_<version>_<arch>.deb, installing under
# /usr (tools/make-deb.sh; its metadata in tools/install/debian).
deb: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j$(JOBS) --target nereval
	./tools/make-deb.sh $(BUILD)

# The package checked as Debian would and as a new user meets it: lintian
# with no error or warning, then in a fresh Debian 12 root (mmdebstrap, from
# this machine's apt sources) installed, run under a virtual X server,
# removed and looked for (tools/deb-check.sh). Not part of `make test`.
deb-check: deb
	./tools/install-deps.sh --deb-check
	./tools/deb-check.sh "$(BUILD)/$$(cut -d' ' -f1 $(BUILD)/deb/debian/files)"

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j$(JOBS)

# The saver alone: no GoogleTest or Google Benchmark needed.
build-saver:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j$(JOBS) --target nereval

# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer. Leak
# reports are off: Mesa leaks small blocks from its unloaded driver.
sanitize: deps-test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNEREVAL_SANITIZE=ON -DNEREVAL_BENCH=OFF
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j$(JOBS)

# Every reader of outside data under libFuzzer (clang, address and undefined
# sanitizers) for FUZZ_SECONDS each, seeded from the project's own files
# (tools/run-fuzz.sh; the targets are in tests/fuzz/).
FUZZ_SECONDS ?= 60
fuzz:
	./tools/install-deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNEREVAL_FUZZ=ON -DNEREVAL_BENCH=OFF
	cmake --build build-fuzz -j$(JOBS) --target fuzz_all
	./tools/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

# The whole frame loop headless with the heaviest settings for SOAK_SECONDS
# of wall time (build/tools/soak; a line per 10 simulated minutes), then the
# rotating camera's distance and the camera rig's bob speed over SOAK_DAYS
# simulated days (tools/flocksim-days.sh; about 15 s of one core a simulated day each).
SOAK_SECONDS ?= 600
SOAK_DAYS ?= 7
soak: deps-test build
	$(BUILD)/tools/soak --seconds $(SOAK_SECONDS)
	./tools/flocksim-days.sh $(BUILD)/tools/flocksim orbit $(SOAK_DAYS) --whales 1
	./tools/flocksim-days.sh $(BUILD)/tools/flocksim bob $(SOAK_DAYS) --whales 1

clean:
	rm -rf $(BUILD) build-asan build-fuzz
