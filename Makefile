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

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	-DKAVURO_WERROR=$(WERROR) -DKAVURO_SANITIZE=$(SANITIZE) -DKAVURO_QT=$(QT) $(CMAKE_ARGS)

.PHONY: all deps configure build run test bench bench-build package clean

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

clean:
	rm -rf $(BUILD) $(BENCH_BUILD) $(PACKAGE_BUILD)
