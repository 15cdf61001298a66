# The two commands of the README, and the rest of the work.
PRESET ?= default
DATA_DIR ?= $(HOME)/.local/share/wez
NAME ?=
FUZZ_SECONDS ?= 20

.PHONY: deps build run test bench fuzz asan clean format screenshots package

deps:
	@scripts/install-deps

build: deps
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET)

run: build
	@scripts/run-local "$(DATA_DIR)"

test: build
	@ctest --preset $(PRESET)

bench: build
	@scripts/run-bench $(NAME)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz --target wez_fuzzers
	@scripts/run-fuzz $(FUZZ_SECONDS)

# The README's pictures in docs/, drawn without a display; under Xvfb with
# SCREENSHOT_QPA=xcb SCREENSHOT_RUN="xvfb-run -a".
SCREENSHOT_QPA ?= offscreen
SCREENSHOT_RUN ?=
BUILD_DIR = $(if $(filter default,$(PRESET)),build,build-$(PRESET))
screenshots: deps
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET) --target wez_screenshots
	@QT_QPA_PLATFORM=$(SCREENSHOT_QPA) QT_LOGGING_RULES="qt.multimedia*=false" \
		$(SCREENSHOT_RUN) $(BUILD_DIR)/tools/screenshots/wez_screenshots docs

# The Debian package, build/wez_VERSION-1_ARCH.deb. Installed programs find their modules and
# the unit its program under /usr, so the build is configured for that prefix.
package: deps
	@cmake --preset default -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build --preset default --target package

format:
	@git ls-files -z --cached --others --exclude-standard '*.cpp' '*.h' | xargs -0 clang-format-14 -i

clean:
	rm -rf build build-asan build-fuzz
