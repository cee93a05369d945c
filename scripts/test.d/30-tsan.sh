# The whole suite under ThreadSanitizer.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
build_preset tsan
ctest_counted tsan -j "$(nproc)"
