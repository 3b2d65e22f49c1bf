#!/bin/sh
# Builds every tests/fuzz/*_fuzz.cpp as a libFuzzer target over the runtime compiled by clang
# with coverage, AddressSanitizer and UndefinedBehaviorSanitizer, then runs each for its share
# of a bounded time. Skipped, with a note, when clang or libFuzzer is not available.
set -e

build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
jobs=${JOBS:-4}
cxx=${FUZZ_CXX:-clang++}
cc=${FUZZ_CC:-clang}

if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz: $cxx not found, skipped"
  exit 0
fi
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! echo "$probe" | "$cxx" -x c++ -fsanitize=fuzzer - -o /dev/null >/dev/null 2>&1; then
  echo "fuzz: $cxx cannot build libFuzzer targets, skipped"
  exit 0
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DKAZ_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target kazrt

targets=$(ls tests/fuzz/*_fuzz.cpp)
count=$(echo "$targets" | wc -l)
each=$((seconds / count))
[ "$each" -ge 1 ] || each=1

for t in $targets; do
  name=$(basename "$t" _fuzz.cpp)
  bin="$build/fuzz-$name"
  "$cxx" -std=c++20 -O1 -g $flags -fsanitize=fuzzer -Isrc "$t" "$build/libkazrt.a" \
    -lcrypto -lpng -ljpeg -lgif -ltiff -lpthread -lm -o "$bin"
  corpus="$build/corpus-$name"
  mkdir -p "$corpus"
  seeds=""
  [ -d "tests/fuzz/corpus/$name" ] && seeds="tests/fuzz/corpus/$name"
  log="$build/fuzz-$name.log"
  if ASAN_OPTIONS=detect_stack_use_after_return=0:detect_leaks=0 \
    "$bin" -max_total_time="$each" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$build/crash-$name-" "$corpus" $seeds >"$log" 2>&1; then
    echo "fuzz: $name: $(grep '^Done' "$log" | tail -1)"
  else
    tail -60 "$log"
    echo "fuzz: $name failed; the input is in $build/crash-$name-*, the log in $log"
    exit 1
  fi
done
