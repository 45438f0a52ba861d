# The commands a newcomer needs: `make run` and `make test`. Each installs what is
# missing, configures and builds first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
SANITIZE ?=
QT ?= ON
CMAKE_ARGS ?=
JOBS ?= $(shell nproc)

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	-DKAVURO_WERROR=$(WERROR) -DKAVURO_SANITIZE=$(SANITIZE) -DKAVURO_QT=$(QT) $(CMAKE_ARGS)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@$(CONFIGURE) > /dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/kavuro

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: deps
	@echo "make bench: no benchmarks yet"

clean:
	rm -rf $(BUILD)
