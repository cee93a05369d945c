# Recovery: plcfw killed (SIGKILL) at a random point of a burn, the simulated
# PLC power-cycled, and the burn run again at once; the rerun must succeed
# with the image exact. Rounds, kill points and the seed: scripts/recovery.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
ensure_packages "${BUILD_PACKAGES[@]}"
build_preset debug
build="$ROOT/build/debug"
counts_to=()
[ -z "$stage_counts" ] || counts_to=(--counts "$stage_counts")
python3 "$ROOT/scripts/recovery" --plcfw "$build/src/ui/console/plcfw" \
  --plcsim "$build/tools/plcsim/plcsim" "${counts_to[@]}"
