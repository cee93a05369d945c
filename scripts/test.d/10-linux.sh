# The folders' one-way dependencies, then the whole suite in a debug build
# with warnings as errors.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
"$ROOT/scripts/layers"
build_preset debug
ctest --preset debug -j "$(nproc)"
