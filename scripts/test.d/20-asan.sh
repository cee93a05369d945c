# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
build_preset asan
ctest_counted asan -j "$(nproc)"
