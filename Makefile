# Front door: each target installs what it needs, configures and builds.
JOBS        ?= $(shell nproc)
BUILD       ?= build
ASAN_BUILD  ?= build-asan
CMAKE_FLAGS ?=

.PHONY: all deps build build-asan run test test-native test-asan bench demo clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIDAZOZ_SANITIZE=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ]; then \
	  echo "make run: there is no display (DISPLAY is not set), so the window cannot be shown."; \
	  echo "Try 'make demo': it runs the window in a virtual X server and writes screenshots to $(BUILD)/demo/."; \
	  exit 1; \
	fi
	./$(BUILD)/app/vidazoz

demo: build
	bash scripts/demo.sh $(BUILD)

test-native: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE no-asan

test: test-native test-asan

bench: build
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
