# Entry points for a fresh machine: `make demo` and `make test`.
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: setup build build-asan test demo demo-schedule bench format clean run screenshots

setup:
	@./scripts/setup

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLORVANT_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

# Every test twice: an optimised build, then one under AddressSanitizer and
# UndefinedBehaviorSanitizer so that memory errors fail the run.
test: build build-asan
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		LORVANT_SANITIZED=1 ctest --output-on-failure -j $(JOBS)

demo: build
	@./scripts/demo $(BUILD)

# A split scheduled for the next minute, run by the system's cron.
demo-schedule: build
	@./scripts/demo-schedule $(BUILD)

# Opens the program's start page.
run: build
	@./$(BUILD)/Lorvant

# A PNG of every window and dialog, drawn under Xvfb, into docs/screenshots.
screenshots: build
	@xvfb-run -a -s "-screen 0 1280x1024x24" ./$(BUILD)/lorvant-screenshots docs/screenshots
	@QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1600x1200x24" ./$(BUILD)/lorvant-screenshots \
		/tmp/lorvant-shots-150 >/dev/null && cp /tmp/lorvant-shots-150/split-window.png \
		docs/screenshots/split-window-150.png && echo docs/screenshots/split-window-150.png

bench:
	@./bench/run

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
