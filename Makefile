# Front door: each target installs what it needs, configures and builds.
JOBS        ?= $(shell nproc)
BUILD       ?= build
ASAN_BUILD  ?= build-asan
CMAKE_FLAGS ?=

.PHONY: all deps deps-run build build-run build-asan run package test test-native test-asan test-windows windows bench demo clean \
        build-fuzz fuzz test-fuzz

all: build

deps:
	@bash scripts/install-deps.sh test

# What the program alone needs: `make run` installs and builds no more than that.
deps-run:
	@bash scripts/install-deps.sh run

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIDAZOZ_SANITIZE=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The program only, in its own build folder without tests or benchmarks, and without debug
# information (a sixth less compiler time).
RUN_BUILD ?= build-run

$(RUN_BUILD)/build.ninja: | deps-run
	cmake -S . -B $(RUN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIDAZOZ_TESTS=OFF -DVIDAZOZ_BENCH=OFF $(CMAKE_FLAGS)

build-run: deps-run $(RUN_BUILD)/build.ninja
	cmake --build $(RUN_BUILD) -j $(JOBS) --target vidazoz

run: build-run
	@if [ -z "$$DISPLAY" ]; then \
	  echo "make run: the window needs a display, and there is none (DISPLAY is not set)."; \
	  echo "The check without a window (vidazoz --check), on the Wine prefix $${WINEPREFIX:-~/.wine, else vidazoz's own}:"; \
	  status=0; ./$(RUN_BUILD)/app/vidazoz --check || status=$$?; \
	  echo "To see the window itself, 'make demo' runs it in a virtual X server and writes screenshots to $(BUILD)/demo/."; \
	  [ $$status -le 2 ]; \
	else \
	  ./$(RUN_BUILD)/app/vidazoz; \
	fi

demo: build
	bash scripts/demo.sh $(BUILD)

# The Debian packages vidazoz and libvidazoz-registry-dev, in $(BUILD).
package: build
	cd $(BUILD) && cpack

test-native: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE no-asan

# Fuzzing (clang, libFuzzer with ASan and UBSan): `make fuzz FUZZ_SECONDS=600` runs each target
# that long; `make test` runs each for a few seconds over its committed seeds.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60

$(FUZZ_BUILD)/build.ninja: | deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DVIDAZOZ_FUZZ=ON -DVIDAZOZ_TESTS=OFF -DVIDAZOZ_BENCH=OFF $(CMAKE_FLAGS)

build-fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz: build-fuzz
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

test-fuzz: build-fuzz
	bash fuzz/run.sh $(FUZZ_BUILD) 5

# Windows: the 32-bit release and its 64-bit twin, which runs the tests under wine64.
WIN32_BUILD ?= build-win32
WIN64_BUILD ?= build-win64

$(WIN32_BUILD)/build.ninja: | deps
	cmake -S . -B $(WIN32_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DVIDAZOZ_BENCH=OFF $(CMAKE_FLAGS)

$(WIN64_BUILD)/build.ninja: | deps
	cmake -S . -B $(WIN64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DVIDAZOZ_BENCH=OFF $(CMAKE_FLAGS)

windows: deps $(WIN32_BUILD)/build.ninja $(WIN64_BUILD)/build.ninja
	cmake --build $(WIN32_BUILD) -j $(JOBS)
	cmake --build $(WIN64_BUILD) -j $(JOBS)

test-windows: windows
	cd $(WIN64_BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(WIN32_BUILD) && ctest --output-on-failure -j $(JOBS) -L "structure|guard"

test: test-native test-asan test-fuzz test-windows

bench: build
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(RUN_BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN32_BUILD) $(WIN64_BUILD)
