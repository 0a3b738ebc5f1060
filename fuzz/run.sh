#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehavior-
# Sanitizer) and runs each over its seed corpus fuzz/corpus/<name> (see the README, Fuzzing).
#   fuzz/run.sh                   CI: every target, all within five minutes on two cores
#   fuzz/run.sh --long SECONDS    every target for SECONDS each
#   fuzz/run.sh [--long S] NAME.. only the targets named (db html pkglist media
#                                 tokens validate state nls settings)
# FUZZ_BUILD picks the build folder (build-fuzz by default), FUZZ_JOBS how many targets
# run at once (2). The run starts from a fixed seed (FUZZ_SEED, default 1), so a CI
# run repeats a run made by hand; FUZZ_SEED=0 lets libFuzzer pick one.
# Any finding fails the script: a crash, a broken invariant (the targets trap), a
# hang (-timeout), a leak, or too much memory. The seeds in fuzz/corpus stay as they
# are: new inputs go to a scratch corpus in the build folder, and a finding leaves its
# input there as <target>-crash-... (or leak-, timeout-, oom-); keep it in the
# target's corpus once its fault is fixed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${FUZZ_BUILD:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-2}
all=(db html pkglist media tokens validate state nls settings)
# CI: nine targets two at a time, five rounds of 40 seconds (with the build, under
# five minutes on two cores)
seconds=40
if [[ ${1:-} == --long ]]; then
  seconds=${2:?"--long needs a number of seconds"}
  shift 2
elif [[ ${1:-} =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all[@]}")
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

# One static library per layer, as the build makes them; each target links only the
# layers it needs (the linker takes only the objects it uses).
foundation=(buffers memmgr list sleep strutils tokens files errors sums)
data=(dbm nls)
system=(syscmd)
ui=(screen textmenu help)
includes=()
for m in "${foundation[@]}" "${data[@]}" "${system[@]}" "${ui[@]}"; do includes+=("-I$root/src/common/$m"); done
includes+=("-I$root/src/setup")
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined)
mkdir -p "$build/obj" "$build/work"
cmake -DDB_SRC="$root/db-src" -DOUT="$build/BuiltinTexts.cpp" -P "$root/cmake/BuiltinTexts.cmake" >/dev/null

# Objects are compiled two at a time; a layer's library is made again each run.
compile() {  # library name, sources...
  local lib=$1
  shift
  mkdir -p "$build/obj/$lib"
  printf '%s\n' "$@" | xargs -P "$jobs" -I{} sh -c \
    'o="$0/$(basename "{}" .cpp).o"; clang++ "$@" -fsanitize=fuzzer-no-link -c "{}" -o "$o"' \
    "$build/obj/$lib" "${flags[@]}" "${includes[@]}"
  rm -f "$build/lib$lib.a"
  ar rcs "$build/lib$lib.a" "$build/obj/$lib"/*.o
}
layer_sources() { for m in "$@"; do ls "$root/src/common/$m"/*.cpp; done; }
compile foundation $(layer_sources "${foundation[@]}")
compile data $(layer_sources "${data[@]}")
compile system $(layer_sources "${system[@]}")
compile ui $(layer_sources "${ui[@]}") "$build/BuiltinTexts.cpp"
compile pkglist "$root/src/setup/PkgListParse.cpp"
compile installer $(ls "$root"/src/setup/*.cpp | grep -v -e '/main.cpp$' -e '/PkgListParse.cpp$')

# The layers each target needs, from the top down.
libs_for() {
  case $1 in
    tokens) echo foundation ;;
    db | nls) echo data foundation ;;
    html | validate | state | settings) echo ui data system foundation ;;
    pkglist | media) echo installer pkglist ui data system foundation ;;
  esac
}
for t in "${targets[@]}"; do
  libs=()
  for l in $(libs_for "$t"); do libs+=("$build/lib$l.a"); done
  [[ ${#libs[@]} -gt 0 ]] || { echo "unknown fuzz target: $t" >&2; exit 2; }
  clang++ "${flags[@]}" -fsanitize=fuzzer "${includes[@]}" "$here/fuzz_$t.cpp" "${libs[@]}" -ltinfo -lcrypto \
    -o "$build/fuzz_$t"
done

# Each target runs from a scratch folder of its own: whatever the code under test
# might create stays there.
run_one() {
  local t=$1
  mkdir -p "$build/corpus-$t" "$build/work/$t"
  cd "$build/work/$t"
  "$build/fuzz_$t" -max_total_time="$seconds" -seed="${FUZZ_SEED:-1}" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$build/$t-" \
    "$build/corpus-$t" "$here/corpus/$t" >"$build/$t.log" 2>&1
}
status=0
pids=()
names=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  names+=("$t")
  if [[ ${#pids[@]} -ge $jobs ]]; then
    wait "${pids[0]}" || { status=1; echo "FAIL: fuzz_${names[0]} (see $build/${names[0]}.log)"; }
    grep -h "stat::number_of_executed_units" "$build/${names[0]}.log" | sed "s/^/fuzz_${names[0]}: /" || true
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || { status=1; echo "FAIL: fuzz_${names[$i]} (see $build/${names[$i]}.log)"; }
  grep -h "stat::number_of_executed_units" "$build/${names[$i]}.log" | sed "s/^/fuzz_${names[$i]}: /" || true
done
if [[ $status -ne 0 ]]; then
  for t in "${targets[@]}"; do
    grep -l -e "ERROR: libFuzzer" -e "ERROR: AddressSanitizer" -e "ERROR: LeakSanitizer" -e "runtime error" \
      "$build/$t.log" >/dev/null 2>&1 && tail -n 40 "$build/$t.log"
  done
fi
exit $status
