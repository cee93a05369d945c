# The whole suite in a debug build with warnings as errors.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
build_preset debug
ctest --preset debug -j "$(nproc)"
