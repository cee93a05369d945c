# The folders' one-way dependencies and the planted-fault catalogue still
# applying to the code, then the whole suite in a debug build with warnings
# as errors.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
ensure_packages "${TEST_PACKAGES[@]}"
"$ROOT/scripts/layers"
"$ROOT/scripts/mutants" --check
build_preset debug
ctest_counted debug -j "$(nproc)"
