# Two entry points: `make run` sets up, builds and starts the program;
# `make test` sets up, builds and runs the whole test suite.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2

.PHONY: setup configure build run test test-asan bench clean deb

setup:
	./scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/video-to-plim-converter

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest -j $(JOBS) --output-on-failure

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: setup
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVTPC_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 QT_QPA_PLATFORM=offscreen ctest -j $(JOBS) --output-on-failure

# The Debian package for this machine's release,
# build/deb/video-to-plim-converter_<version>-1~deb<release>_amd64.deb,
# checked by lintian: any warning or error fails the target.
# CPack's log goes to deb/cpack.log (shown when it fails): its warnings about
# the two absent maintainer scripts are how there are none.
deb: build
	rm -rf $(BUILD)/deb && mkdir -p $(BUILD)/deb
	cd $(BUILD) && cpack -G DEB >deb/cpack.log 2>&1 || { cat deb/cpack.log; exit 1; }
	grep '^CPack: - package: ' $(BUILD)/deb/cpack.log
	lintian --fail-on warning $(BUILD)/deb/video-to-plim-converter_*_amd64.deb

clean:
	rm -rf $(BUILD) build-asan
