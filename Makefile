# Thin front over CMake. `make run` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test bench fuzz clean screenshots install-desktop

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/veltrane

# Tests that start a JACK server run one at a time, after the rest: servers coming up side by side
# race each other in the client library's device scan.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600 -E Jack
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -R Jack

# Pictures of the real window, played and with a selection, at 1x and 2x device pixel ratio, taken on a
# virtual X display: $(BUILD)/screenshots/*.png.
screenshots: build
	rm -rf $(BUILD)/screenshots
	xvfb-run -a -s "-screen 0 1920x1200x24" ./$(BUILD)/veltrane --screenshots $(BUILD)/screenshots
	QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 3840x2400x24" ./$(BUILD)/veltrane --screenshots $(BUILD)/screenshots
	@ls $(BUILD)/screenshots

# The menu entry and the ".veltrane" file type for the current user, opening this build's program.
install-desktop: build
	scripts/install-desktop-entry $(BUILD)/veltrane

bench: build
	@for b in $(BUILD)/Benchmarks/*Benchmark; do echo "== $$b"; $$b || exit 1; done

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANE_FUZZ=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-fuzz
