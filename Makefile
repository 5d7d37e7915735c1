# make show  - install what is missing, build (Release), run the show on samples/
# make test  - install what is missing, build, run every test, then the same
#              tests again in a sanitizer build (AddressSanitizer + UBSan,
#              with clang), which also runs every fuzzer for a few seconds
# make deb   - build the Debian package velmirano_<version>_<arch>.deb into
#              build/deb/ and check it with lintian (not part of make test)
.PHONY: deps release asan show test test-release test-asan test-fuzz samples deb clean

JOBS ?= 2
RELEASE := build/release
ASAN := build/asan
DEMO_CONFIG := $(CURDIR)/build/demo-config

deps:
	./scripts/install-deps.sh

release: deps
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release
	ninja -C $(RELEASE) -j $(JOBS)

# The sanitizer build is clang's, so that the same instrumented library
# serves the tests and the libFuzzer targets: one build instead of two.
asan: deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DVELMIRANO_SANITIZE=ON -DVELMIRANO_FUZZ=ON
	ninja -C $(ASAN) -j $(JOBS)

# The show reads its own settings store here, pointed at the samples and
# all six of their file types.
show: release
	mkdir -p $(DEMO_CONFIG)/Velmiworks
	printf '[misc]\njpg=1\npng=1\ngif=1\nbmp=1\nheic=1\nwebp=1\n[path]\n1=$(CURDIR)/samples\n' > $(DEMO_CONFIG)/Velmiworks/Velmirano.conf
	cd samples && XDG_CONFIG_HOME=$(DEMO_CONFIG) ../$(RELEASE)/velmirano /S

test: test-release test-asan

test-release: release
	cd $(RELEASE) && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# Every libFuzzer target (picture loading per type, the PCX and TGA
# decoders, metadata with the stamp's placeholders, file-name order) alone,
# for a few seconds each; found inputs stay in the build folder.
test-fuzz: asan
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS) -R 'fuzz_.*_runs'

# Regenerates the bundled sample pictures (they are committed).
samples:
	./scripts/make-samples.sh samples

# The version is CMake's project version; debian/changelog must agree (the
# package build checks it). dpkg-buildpackage builds in a copy of the tree
# and leaves its results beside that copy, in build/deb/.
VERSION := $(shell sed -n 's/^project.Velmirano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DEB := build/deb
deb:
	./scripts/install-deps.sh --package
	rm -rf $(DEB)
	mkdir -p $(DEB)/velmirano-$(VERSION)
	tar --exclude=./build --exclude='./build-*' --exclude=./.git -cf - . | tar -xf - -C $(DEB)/velmirano-$(VERSION)
	cd $(DEB)/velmirano-$(VERSION) && dpkg-buildpackage -us -uc -b
	lintian --info $(DEB)/velmirano_$(VERSION)_$$(dpkg --print-architecture).deb
	@echo "Built $(DEB)/velmirano_$(VERSION)_$$(dpkg --print-architecture).deb"

clean:
	rm -rf build
