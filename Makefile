# Front door: every target installs what is missing, configures, builds and runs.
MAKEFLAGS += --no-print-directory
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
TOOL := $(BUILD)/branding-package
FUZZ_SECONDS ?= 60

SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

.PHONY: all deps build test demo preview-screenshot sanitize fuzz coverage lint bench mutants install uninstall package lintian clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBP_BUILD_TESTS=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Only what the two tools need: their packages and their two targets.
demo:
	@scripts/install-deps.sh --tools
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBP_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target branding-package branding-package-inspect
	@scripts/demo.sh $(TOOL)

# docs/preview.png from the demo's preview page.
preview-screenshot: demo
	@scripts/preview-screenshot.sh

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBP_BUILD_TESTS=ON -DBP_PACKAGE_TEST=OFF \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE) -O1" >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Every libFuzzer target for FUZZ_SECONDS each.
fuzz:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DBP_BUILD_TESTS=OFF \
	  -DBP_FUZZ=ON -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined \
	  -fno-sanitize-recover=all -O1 -g" >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# Line and branch coverage of src/ from the test suite.
coverage:
	@scripts/install-deps.sh gcovr
	@cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DBP_BUILD_TESTS=ON -DBP_PACKAGE_TEST=OFF \
	  -DCMAKE_CXX_FLAGS="--coverage -O0" >/dev/null
	@cmake --build build-cov -j $(JOBS)
	@find build-cov -name '*.gcda' -delete
	@# One run, its failures printed; libgcov's own complaints go to a file of their own, never
	@# into the standard error a test reads.
	@rm -f build-cov/gcov-errors.txt && touch build-cov/gcov-errors.txt && chmod 666 build-cov/gcov-errors.txt
	@cd build-cov && GCOV_ERROR_FILE=$(CURDIR)/build-cov/gcov-errors.txt ctest --output-on-failure -j $(JOBS)
	@gcovr --root . --filter 'src/' --exclude-throw-branches --exclude-unreachable-branches \
	  --print-summary --txt - --fail-under-line 95 build-cov

# Plants each small fault of scripts/mutants.txt, runs the suite, lists the survivors (slow;
# not part of CI).
mutants: deps
	@scripts/mutants.sh build-mutants

# The layers, clang-format over the sources, clang-tidy over src/ with the committed .clang-tidy.
lint: build
	@scripts/install-deps.sh clang-tidy clang-format
	@scripts/lint.sh $(BUILD)

# Timings of a Release build against a floor made of standard tools.
bench:
	@scripts/install-deps.sh python3 coreutils
	@cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBP_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-release -j $(JOBS) --target branding-package branding-package-inspect
	@scripts/bench.sh build-release/branding-package

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-cov build-release build-mutants examples/out

# Installs both tools (stripped), their man pages, bash completion and the README under
# DESTDIR+PREFIX; uninstall removes exactly what the last install wrote or created there.
PREFIX ?= /usr/local
install: build
	@scripts/install.sh install $(BUILD) $(PREFIX) "$(DESTDIR)"

uninstall:
	@scripts/install.sh uninstall $(BUILD)

# A Debian package of both tools in $(BUILD)/, its Depends computed from the binaries,
# checked with lintian when it is installed (`make lintian` installs it). MAINTAINER sets the
# Maintainer field ("Name <address>", also in the changelog); without it the package keeps the
# configured one, so that who builds does not change its bytes.
package: build
	@if [ -n "$(MAINTAINER)" ]; then cmake -S . -B $(BUILD) -DBP_MAINTAINER="$(MAINTAINER)" >/dev/null; fi
	@cd $(BUILD) && cpack -G DEB
	@if command -v lintian >/dev/null; then lintian --fail-on error,warning $(BUILD)/*.deb; \
	  else echo "lintian is not installed; 'make lintian' installs it and checks the package"; fi

lintian:
	@scripts/install-deps.sh --tools lintian
	@$(MAKE) package
