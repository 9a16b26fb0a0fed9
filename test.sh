#!/usr/bin/env bash
# Installs what is missing, builds every variant and runs every test:
#   0. the formatting check (scripts/check-format.sh --fix rewrites what drifted)
#   1. release build (g++) with the second library build (clang++) and all suites
#   2. AddressSanitizer + UndefinedBehaviorSanitizer build and its suites
#   3. ThreadSanitizer build of the threaded suites
#   4. libFuzzer targets, a few seconds each
# The last stage is the main suite, so the output ends with ctest's summary.
set -uo pipefail
cd "$(dirname "$0")"
top=$PWD
jobs=${JOBS:-2}
failed=()

stage_start=0
begin() { stage_start=$(date +%s); printf '\n=== %s\n' "$1"; }
end() { printf '=== %s: %ss\n' "$1" $(( $(date +%s) - stage_start )); }
run() { "$@" || { failed+=("$*"); return 1; }; }

begin "install dependencies"
scripts/install-deps.sh || { echo "dependency installation failed"; exit 1; }
end "install dependencies"

begin "format: every source as .clang-format writes it"
run scripts/check-format.sh && echo "formatting: clean"
end "format"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
configure() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" "${generator[@]}" -DDIRCLIENT_WERROR=ON "$@" >/dev/null
}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/tests/support/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

begin "build: release (g++) and libdirclient_g (clang++)"
run configure build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  run cmake --build build/release -j "$jobs"
release_ok=$?
end "build: release"

begin "build: address + undefined sanitizers"
if run configure build/asan -DCMAKE_BUILD_TYPE=Debug -DDIRCLIENT_SANITIZE=address,undefined \
     -DDIRCLIENT_BUILD_G=OFF -DDIRCLIENT_BENCH=OFF &&
   run cmake --build build/asan -j "$jobs"; then
  end "build: sanitizers"
  begin "tests: address + undefined sanitizers"
  run ctest --test-dir build/asan -j "$jobs" -LE noasan --output-on-failure
  end "tests: sanitizers"
fi

if command -v clang++ >/dev/null; then
  begin "build: thread sanitizer"
  if run configure build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIRCLIENT_SANITIZE=thread \
       -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
       -DDIRCLIENT_BUILD_G=OFF -DDIRCLIENT_BENCH=OFF &&
     run cmake --build build/tsan -j "$jobs" --target threads_tests; then
    end "build: thread sanitizer"
    begin "tests: thread sanitizer"
    run ctest --test-dir build/tsan -j "$jobs" -L threads --output-on-failure
    end "tests: thread sanitizer"
  fi

  begin "build: fuzz targets"
  if run configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIRCLIENT_FUZZ=ON \
       -DDIRCLIENT_SANITIZE=fuzzer-no-link,address,undefined \
       -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
       -DDIRCLIENT_BUILD_G=OFF -DDIRCLIENT_BENCH=OFF &&
     run cmake --build build/fuzz -j "$jobs" --target fuzz_targets; then
    end "build: fuzz targets"
    begin "fuzzing"
    run ctest --test-dir build/fuzz -j "$jobs" -L fuzz --output-on-failure
    end "fuzzing"
  fi
else
  echo "clang++ missing: no thread sanitizer run and no fuzzing"
fi

if [ ${#failed[@]} -gt 0 ]; then
  printf '\nFAILED stages:\n'; printf '  %s\n' "${failed[@]}"
fi

printf '\n=== tests: release (g++ and libdirclient_g); total time so far %ss\n' "$SECONDS"
if [ "$release_ok" -eq 0 ]; then
  run ctest --test-dir build/release -j "$jobs" --output-on-failure
fi
[ ${#failed[@]} -gt 0 ] && exit 1
exit 0
