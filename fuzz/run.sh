#!/usr/bin/env bash
# Fuzzes the server's readers of untrusted bytes for a bounded time: the
# upload body reader (with the form readers), the push stream reader, the
# HTTP request reader (a stream cut anywhere reads as it does whole) and the
# whole web server on loopback (every reply framed well).
#   fuzz/run.sh [SECONDS_PER_TARGET]     (default 60; FUZZ_TARGETS="http_request ..." for some)
# Builds build-fuzz with clang (libFuzzer, AddressSanitizer, UBSan), runs each
# target from its corpus in fuzz/corpus/NAME, then merges the inputs that
# reached new code back into that folder, keeping it minimal. The corpus is
# kept in git; every ordinary build replays it as tests (FuzzCorpus.*).
# A crash stops the script and leaves its input as crash-* in the top folder.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
command -v clang++ >/dev/null || { echo "needs clang (apt-get install clang)" >&2; exit 1; }

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUVO_FUZZ=ON \
    -DZUVO_SANITIZE=ON -DZUVO_BUILD_TESTS=OFF -DZUVO_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_upload_body fuzz_push_stream fuzz_http_request fuzz_http_server

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for name in ${FUZZ_TARGETS:-upload_body push_stream http_request http_server}; do
    fuzzer=build-fuzz/fuzz/fuzz_$name
    corpus=fuzz/corpus/$name
    found=$(mktemp -d)
    merged=$(mktemp -d)
    echo "== fuzz_$name for ${SECONDS_PER_TARGET}s"
    "$fuzzer" -max_total_time="$SECONDS_PER_TARGET" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$found" "$corpus" 2>&1 | grep -E "^#[0-9]+ *DONE|stat::number_of_executed_units|stat::peak_rss|ERROR|SUMMARY" || true
    "$fuzzer" -merge=1 "$merged" "$corpus" "$found" 2>&1 | grep -E "MERGE-OUTER: [0-9]+ new files" || true
    rm -rf "$corpus" "$found"
    mv "$merged" "$corpus"
    chmod 755 "$corpus"
    echo "corpus $corpus: $(ls "$corpus" | wc -l) inputs"
done
