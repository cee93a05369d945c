# The checks of the test scripts (the stages in scripts/test.d and the shell
# cases under tests/), sourced by bash.  scripts/vm/init keeps a copy of its
# own: it runs in the VM's busybox sh, where the host counts its lines.
# shellcheck shell=bash

# check DESCRIPTION COMMAND...: one check, counted in $passed or $failed (the
# script sets both to 0).  A failure is said on standard error, and a pass too
# unless check_quiet is set (the ctest cases, read only when they fail).
check() {
  local what="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    [ -n "${check_quiet:-}" ] || echo "  ok: $what" >&2
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
  record_counts
}

# counts NAME: the closing line, "NAME: N passed, M failed".
counts() {
  echo "$1: $passed passed, $failed failed"
  record_counts
}

# record_counts: $passed and $failed, as they are now, where the test command
# reads a stage's counts (stage_counts, set by lib.sh), or for a shell case
# where the stage that runs it asks for them (PLC_CASE_COUNTS); else nowhere.
record_counts() {
  local to="${stage_counts:-${PLC_CASE_COUNTS:-}}"
  [ -z "$to" ] || echo "${passed:-0} ${failed:-0}" >"$to"
}
