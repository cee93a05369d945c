# Shared by the scripts: package installation and the project's folders.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ROOT

say() { printf '==> %s\n' "$*" >&2; }

# ensure_packages PKG...: installs the Debian packages that are missing.
# As root it runs apt-get; otherwise it prints the exact command and stops.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root, or install them first:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  say "installing ${missing[*]}"
  if [ -z "${PLC_APT_UPDATED:-}" ]; then
    apt-get update -qq >&2
    export PLC_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# The packages every native build needs.  scdoc writes the man pages; the
# install test renders them with man-db and loads the completion with
# bash-completion's library.
BUILD_PACKAGES=(cmake make g++ gcc libc6-dev libgtest-dev libgmock-dev python3 nlohmann-json3-dev libssl-dev libcli11-dev
  scdoc man-db bash-completion)
# What the tests need beyond the build: the --json document checked against
# its schema.
TEST_PACKAGES=(python3-jsonschema)
# The fleet stage: the Ansible collection's unit tests, and playbooks run over
# SSH against sshd instances of its own.
FLEET_PACKAGES=(python3 python3-pytest ansible-core openssh-server openssh-client)

# The Debian package's build and its checks (scripts/test.d/70-package.sh);
# dpkg-buildpackage checks for build-essential itself.
# udev's udevadm reads the installed rule back.  The collection's role installs
# plcfw: ansible-core, sudo for its become, python3-apt for its apt module.
PACKAGE_PACKAGES=(build-essential debhelper dpkg-dev fakeroot lintian scdoc man-db udev
  ansible-core sudo python3-apt)

source "$ROOT/scripts/checks.sh"

# The file where the test command reads this stage's counts ("PASSED FAILED"),
# taken out of the environment so that the tests a stage runs never write it.
stage_counts="${PLC_STAGE_COUNTS:-}"
unset PLC_STAGE_COUNTS

# build_preset NAME: configures and builds a CMake preset.
build_preset() {
  local preset="$1"
  say "building preset $preset"
  cmake --preset "$preset" -S "$ROOT" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
}

# ctest_counted PRESET [ARGS...]: ctest on a preset, its tests counted as the
# stage's checks (from ctest's JUnit report, not from its printed summary).
ctest_counted() {
  local preset="$1" junit rc=0 line
  shift
  junit="$(mktemp)"
  ctest --preset "$preset" --output-junit "$junit" "$@" || rc=$?
  line="$(python3 - "$junit" <<'PY'
import sys, xml.etree.ElementTree as ET
# As ctest's summary counts: a test skipped on purpose (SKIP_RETURN_CODE,
# SKIP_REGULAR_EXPRESSION) passes, one that could not run fails.
def passed(case):
    skip = case.find("skipped")
    return case.get("status") == "run" or (
        skip is not None and skip.get("message", "").startswith("SKIP_"))
cases = [c for c in ET.parse(sys.argv[1]).getroot().iter("testcase")
         if c.get("status") != "disabled"]
good = sum(map(passed, cases))
print(good, len(cases) - good)
PY
)" || line=""
  rm -f "$junit"
  [ -n "$line" ] || return 1
  read -r passed failed <<<"$line"
  record_counts
  return $rc
}

# ansible_home WORK: Ansible as the stages run it, all its files under WORK:
# the collection in the tree found as vemora.plc, an ansible.cfg whose
# [defaults] a stage may extend by appending to "$ANSIBLE_CONFIG", and the
# inventory read from WORK/inventory.yml.
ansible_home() {
  local work="$1"
  mkdir -p "$work/collections/ansible_collections/vemora"
  ln -s "$ROOT/ansible" "$work/collections/ansible_collections/vemora/plc"
  export ANSIBLE_CONFIG="$work/ansible.cfg" ANSIBLE_HOME="$work/ansible-home" ANSIBLE_NOCOLOR=1
  cat >"$ANSIBLE_CONFIG" <<CFG
[defaults]
inventory = $work/inventory.yml
collections_path = $work/collections
remote_tmp = $work/remote-tmp
local_tmp = $work/local-tmp
interpreter_python = auto_silent
retry_files_enabled = False
CFG
}
