#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the Release build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer build and
# bounded libFuzzer runs. Stops at the first failure.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

"$top/scripts/installer-paquets.sh"

step() { printf '\n=== %s\n' "$*"; }

step "Format (clang-format --dry-run)"
git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

configure() { # <dir> <build type> [cmake args...]
    local dir=$1 type=$2
    shift 2
    cmake -S "$top" -B "$top/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
        -DTAMBURELLA_WERROR=ON "$@" >/dev/null
}

step "Release build and tests"
configure build Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

step "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
configure build-asan Sanitize -DTAMBURELLA_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

step "ThreadSanitizer build and tests"
configure build-tsan Tsan -DTAMBURELLA_BENCH=OFF
cmake --build build-tsan -j "$jobs"
# ThreadSanitizer's shadow memory does not fit a fully randomised address space.
setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure -j "$jobs" -LE notsan

step "Fuzz targets (bounded runs)"
CC=clang CXX=clang++ configure build-fuzz Release -DTAMBURELLA_FUZZ=ON -DTAMBURELLA_GUI=OFF \
    -DTAMBURELLA_TESTS=OFF
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz --output-on-failure -j "$jobs" -L fuzz

step "All tests passed"
