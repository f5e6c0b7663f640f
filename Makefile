# The whole set-up: `make run` and `make test`. Both install what they need first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
GENERATOR  := -G Ninja
JOBS       ?= $(shell nproc)

.PHONY: deps build run test bench fuzz format clean

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# Until the windowed game lands, the program to start is the headless field demo.
run: build
	$(BUILD)/bin/quadrell-fieldsim --columns 48 --pieces 400 --show

test: deps
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQUADRELL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DQUADRELL_BENCH=ON -DQUADRELL_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bin/bench_game

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
