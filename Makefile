# Everyday entry points. `make run` and `make test` install what is missing first.
BUILD       ?= build
SAN_BUILD   ?= build-sanitize
FUZZ_BUILD  ?= build-fuzz
RELEASE_BUILD ?= build-release
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=
# Our own builds treat warnings as errors; CMAKE_FLAGS=-DTONVISOR_WERROR=OFF overrides it.
WERROR = -DTONVISOR_WERROR=ON

PACKAGES = cmake make g++ pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libftdi1-dev \
           libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xauth fonts-dejavu-core dpkg-dev file \
           pybind11-dev python3-pybind11 python3-dev python3-pytest

.PHONY: deps build run board test test-sanitize fuzz package bench screenshots clean

deps:
	@./scripts/install-deps.sh $(PACKAGES)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/apps/Tonvisor --simulate --init-script examples/krvl7300_init_script.txt

board: build
	./$(BUILD)/apps/tonvisor-board --verbose

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTONVISOR_SANITIZE=ON -DTONVISOR_BUILD_BENCH=OFF \
	  $(WERROR) $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DTONVISOR_FUZZ=ON \
	  -DTONVISOR_BUILD_GUI=OFF -DTONVISOR_BUILD_BENCH=OFF -DBUILD_TESTING=OFF $(WERROR) $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_script_reader fuzz_peq_design
	./scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Debian package (RELEASE_BUILD/tonvisor_VERSION_ARCH.deb) from a Release build of the
# programs alone: the tests and benchmarks have their own builds.
package: deps
	cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTONVISOR_BUILD_BENCH=OFF \
	  $(WERROR) $(CMAKE_FLAGS)
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	cd $(RELEASE_BUILD) && cpack

screenshots: build
	./scripts/screenshots.sh $(BUILD)

bench: build
	./scripts/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(RELEASE_BUILD)
