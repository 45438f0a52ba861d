# The commands a newcomer needs: `make run` and `make test`. Each installs what is
# missing, configures and builds first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
SANITIZE ?=
QT ?= ON
CMAKE_ARGS ?=
JOBS ?= $(shell nproc)
BENCH_BUILD ?= build-bench
PACKAGE_BUILD ?= build-package
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SOAK_BUILD ?= build-soak

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	-DKAVURO_WERROR=$(WERROR) -DKAVURO_SANITIZE=$(SANITIZE) -DKAVURO_QT=$(QT) $(CMAKE_ARGS)

.PHONY: all deps configure build run test bench bench-build package fuzz fuzz-build soak clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@$(CONFIGURE) > /dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the window program: the tests build with `make test`.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target kavuro
	$(BUILD)/kavuro

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Benchmarks build apart from the tests, optimised, and print one table (also written
# to $(BENCH_BUILD)/bench/results.md). They measure; they never fail on a slow figure.
bench: bench-build
	bench/run $(BENCH_BUILD)

bench-build: deps
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVURO_BENCH=ON \
		-DKAVURO_TESTS=OFF -DKAVURO_WERROR=$(WERROR) $(CMAKE_ARGS) > /dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS)

# kavuro_<version>_<arch>.deb in this folder: an optimised, stripped build of the
# programs alone with Debian's hardening flags, packaged by CPack from what
# `cmake --install` installs.
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package: deps
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVURO_TESTS=OFF \
		-DCMAKE_INSTALL_PREFIX=/usr -DKAVURO_WERROR=$(WERROR) \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" $(CMAKE_ARGS) > /dev/null
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	rm -f $(PACKAGE_BUILD)/kavuro_*.deb
	cd $(PACKAGE_BUILD) && cpack -G DEB
	cp $(PACKAGE_BUILD)/kavuro_*.deb .

# libFuzzer targets, built with clang under the address and undefined-behaviour
# sanitizers, each run for FUZZ_SECONDS; a crash fails and prints its reproducer.
fuzz: fuzz-build
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_COMPILER=clang++ -DKAVURO_FUZZ=ON -DKAVURO_QT=OFF -DKAVURO_TESTS=OFF \
		-DKAVURO_WERROR=$(WERROR) $(CMAKE_ARGS) > /dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# 1,000 fetches of a 500-song answer into the recording window and into the real window
# (offscreen), twice. Under AddressSanitizer: fails on a leak or on the heap the program
# holds growing 5 % or more over the last 900 (ASan's own bookkeeping grows resident
# memory whatever the program does). Uninstrumented: fails on resident memory doing so.
soak: deps
	@cmake -S . -B $(SOAK_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVURO_BENCH=ON \
		-DKAVURO_TESTS=OFF -DKAVURO_SANITIZE=address -DKAVURO_WERROR=$(WERROR) $(CMAKE_ARGS) \
		> /dev/null
	@cmake -S . -B $(SOAK_BUILD)-plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKAVURO_BENCH=ON -DKAVURO_TESTS=OFF -DKAVURO_WERROR=$(WERROR) $(CMAKE_ARGS) > /dev/null
	cmake --build $(SOAK_BUILD) -j $(JOBS) --target kavuro_soak
	cmake --build $(SOAK_BUILD)-plain -j $(JOBS) --target kavuro_soak
	ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp:print_suppressions=0 \
		QT_QPA_PLATFORM=offscreen $(SOAK_BUILD)/bench/kavuro_soak
	QT_QPA_PLATFORM=offscreen $(SOAK_BUILD)-plain/bench/kavuro_soak

clean:
	rm -rf $(BUILD) $(BENCH_BUILD) $(PACKAGE_BUILD) $(FUZZ_BUILD) $(SOAK_BUILD) $(SOAK_BUILD)-plain
