# Thin front end over CMake. `make demo` builds everything and runs the demo;
# `make check` builds and runs every test.
BUILD      ?= build
BUILD_ASAN ?= build-asan
PACKAGES   := g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev libncurses-dev ncompress util-linux libcdb-dev

.PHONY: all deps configure build check check-asan demo bench clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD)

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

check-asan: deps
	@[ -f $(BUILD_ASAN)/build.ninja ] || cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSETUP_SANITIZE=ON -DSETUP_BENCH=OFF
	cmake --build $(BUILD_ASAN)
	ctest --test-dir $(BUILD_ASAN) --output-on-failure -j2

demo: build
	./tools/demo.sh $(BUILD)

bench: build
	@command -v cdb >/dev/null && command -v sqlite3 >/dev/null || apt-get install -y -q tinycdb sqlite3
	@for b in $(BUILD)/bench_*; do $$b; done

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
