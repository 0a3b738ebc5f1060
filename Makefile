# Thin front end over CMake. `make demo` builds everything and runs the demo;
# `make check` builds and runs every test.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_BENCH ?= build-bench
# What the programs and their tests need; the benchmarks need more (make bench).
PACKAGES   := g++ cmake ninja-build libgtest-dev libgmock-dev libncurses-dev ncompress util-linux
BENCH_PACKAGES := libbenchmark-dev libcdb-dev
# SETUP_WERROR=ON (CI) makes every warning an error whatever the compiler; empty
# leaves it to CMake (on with g++ 12, the project's compiler).
WERROR_FLAG := $(if $(SETUP_WERROR),-DSETUP_WERROR=$(SETUP_WERROR),)

.PHONY: all deps bench-deps install-packages configure build check check-asan demo bench clean

all: build

deps:
	@$(MAKE) --no-print-directory install-packages WANT="$(PACKAGES)"

bench-deps: deps
	@$(MAKE) --no-print-directory install-packages WANT="$(BENCH_PACKAGES)"

install-packages:
	@missing=""; for p in $(WANT); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_FLAG)

build: configure
	cmake --build $(BUILD)

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

check-asan: deps
	@[ -f $(BUILD_ASAN)/build.ninja ] || cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSETUP_SANITIZE=ON $(WERROR_FLAG)
	cmake --build $(BUILD_ASAN)
	ctest --test-dir $(BUILD_ASAN) --output-on-failure -j2 --label-exclude e2e

demo: build
	./tools/demo.sh $(BUILD)

bench: bench-deps
	@command -v cdb >/dev/null && command -v sqlite3 >/dev/null || apt-get install -y -q tinycdb sqlite3
	@[ -f $(BUILD_BENCH)/build.ninja ] || cmake -S . -B $(BUILD_BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_BENCH=ON $(WERROR_FLAG)
	cmake --build $(BUILD_BENCH)
	@for b in $(BUILD_BENCH)/bench_*; do $$b; done

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_BENCH)
