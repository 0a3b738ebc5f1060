#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehavior-
# Sanitizer) and runs each for a bounded time over its seed corpus: fuzz_db (record
# databases and message layer, fuzz/corpus/db) and fuzz_html (help files, fuzz/corpus/html).
#   fuzz/run.sh [seconds]        (default 60 per target; FUZZ_BUILD picks the build folder, build-fuzz by default)
# The run starts from a fixed seed (FUZZ_SEED, default 1), so a run repeats what an
# earlier run of the same length tried; FUZZ_SEED=0 lets libFuzzer pick one.
# The seeds in fuzz/corpus stay as they are: new inputs go to a scratch corpus in
# the build folder. A crash leaves its input there and makes the script fail.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-60}
build=${FUZZ_BUILD:-$root/build-fuzz}
export DEBIAN_FRONTEND=noninteractive

if ! command -v clang++ >/dev/null 2>&1; then
  apt-get update -q && apt-get install -y -q clang
fi
# The libFuzzer runtime ships apart from the compiler on some releases.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, unsigned long) { return 0; }' > "$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1; then
  major=$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -1)
  apt-get update -q && apt-get install -y -q "libclang-rt-$major-dev" || apt-get install -y -q "libclang-common-$major-dev"
fi

mkdir -p "$build/corpus" "$build/work"
# The record database and the translation file are the data layer: it and the
# foundation below it are all the target compiles.
includes=()
sources=()
for m in buffers memmgr list sleep strutils tokens files errors dbm nls; do
  includes+=("-I$root/src/common/$m")
  sources+=("$root/src/common/$m"/*.cpp)
done
clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  "${includes[@]}" \
  "$here/fuzz_db.cpp" "${sources[@]}" -o "$build/fuzz_db"

# The help viewer with the whole ui layer; its built-in texts are generated as the
# build generates them.
cmake -DDB_SRC="$root/db-src" -DOUT="$build/BuiltinTexts.cpp" -P "$root/cmake/BuiltinTexts.cmake"
for m in syscmd screen textmenu help; do includes+=("-I$root/src/common/$m"); done
clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  "${includes[@]}" \
  "$here/fuzz_html.cpp" "$root"/src/common/*/*.cpp "$build/BuiltinTexts.cpp" -ltinfo -lcrypto -o "$build/fuzz_html"

# Run from a scratch folder: whatever the code under test might create stays there.
mkdir -p "$build/corpus-html"
cd "$build/work"
"$build/fuzz_db" -max_total_time="$seconds" -seed="${FUZZ_SEED:-1}" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/" "$build/corpus" "$here/corpus/db"
"$build/fuzz_html" -max_total_time="$seconds" -seed="${FUZZ_SEED:-1}" -timeout=10 -rss_limit_mb=2048 \
  -max_len=65536 -artifact_prefix="$build/html-" "$build/corpus-html" "$here/corpus/html"
