# A short smoke run of each libFuzzer target (clang; about 30 s together).
# Findings stop the stage; the crashing input is left in build/fuzz-smoke.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
ensure_packages clang libclang-rt-14-dev
build_preset fuzz
out="$ROOT/build/fuzz-smoke"
mkdir -p "$out"
for target in fuzz_replies fuzz_sim; do
  mkdir -p "$out/corpus_$target"
  dict=()
  [ "$target" = fuzz_sim ] && dict=(-dict="$ROOT/fuzz/sim.dict")
  say "fuzzing $target for 15 s"
  (cd "$out" && "$ROOT/build/fuzz/fuzz/$target" -max_total_time=15 -print_final_stats=1 \
    "${dict[@]}" -artifact_prefix="$out/$target-" "$out/corpus_$target" \
    >"$out/$target.log" 2>&1) || {
    tail -n 40 "$out/$target.log" >&2
    exit 1
  }
  grep -E '^(Done|stat::number_of_executed_units)' "$out/$target.log" >&2 || true
done
