# The whole set-up: `make run` and `make test`. Both install what they need first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
GENERATOR  := -G Ninja
JOBS       ?= $(shell nproc)

# Fuzzing: every target runs over its seed corpus (tests/fuzz/corpus/<target>)
# plus new inputs, which it keeps in fuzz-corpus-out/<target>. `make test` runs
# each briefly; `make fuzz` runs each for FUZZ_SECONDS.
FUZZ_TARGETS := fuzz_stream_decoder fuzz_payloads fuzz_connection_core fuzz_stun fuzz_replay
FUZZ_FLAGS   := -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1
FUZZ_SECONDS ?= 180
FUZZ_SMOKE   := -runs=30000 -max_total_time=10

.PHONY: deps build run test package bench fuzz fuzz-build fuzz-smoke format clean assets

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The game, full screen. Its settings, highscores and screenshots live in play/,
# not in the user's folders. ARGS=--windowed for a window.
PLAY_DIR ?= play
run: build
	mkdir -p $(PLAY_DIR)
	cd $(PLAY_DIR) && $(abspath $(BUILD))/bin/quadrell --data-dir $(abspath $(PLAY_DIR)) $(ARGS)

test: deps
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQUADRELL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-smoke

# build/quadrell_<version>_<arch>.deb and build/quadrell-server_<version>_<arch>.deb,
# installed under /usr.
package: build
	cd $(BUILD) && cpack -G DEB

bench: deps
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DQUADRELL_BENCH=ON -DQUADRELL_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bin/bench_*; do echo "== $$b"; $$b || exit 1; done
	@echo "== bench/server_load.sh"; bench/server_load.sh $(BENCH_BUILD)/bin
	@echo "== bench/game_figures.sh"; bench/game_figures.sh $(BENCH_BUILD)/bin
	@echo "== bench/loss_play.sh"; bench/loss_play.sh $(BENCH_BUILD)/bin

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUADRELL_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz-smoke: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
		mkdir -p fuzz-corpus-out/$$t; echo "== $$t"; \
		$(FUZZ_BUILD)/bin/$$t $(FUZZ_FLAGS) $(FUZZ_SMOKE) fuzz-corpus-out/$$t tests/fuzz/corpus/$$t \
			> $(FUZZ_BUILD)/$$t.log 2>&1 || { cat $(FUZZ_BUILD)/$$t.log; exit 1; }; \
		grep -E '^(INFO: seed corpus|Done)' $(FUZZ_BUILD)/$$t.log; \
	done

fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
		mkdir -p fuzz-corpus-out/$$t; echo "== $$t"; \
		$(FUZZ_BUILD)/bin/$$t $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) fuzz-corpus-out/$$t tests/fuzz/corpus/$$t || exit 1; \
	done

# Reruns the texture, cursor, icon and sound generators into resources/.
assets: deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target assets

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) fuzz-corpus-out
