#!/usr/bin/env bash
# cmake --install into a fresh prefix: exactly the expected files, man pages
# that man renders without a complaint, and a completion script that bash
# reads and that completes options, models and ports from the installed plcfw.
# Usage: install_test.sh CMAKE BUILD_DIR
set -uo pipefail
CMAKE="$1" BUILD="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
passed=0 failed=0
check_quiet=1
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/checks.sh"

"$CMAKE" --install "$BUILD" --prefix "$prefix" >/dev/null || { echo "FAILED: cmake --install" >&2; exit 1; }
expected='bin/plcfw
bin/plcsim
lib/udev/rules.d/70-plcfw.rules
share/bash-completion/completions/plcfw
share/man/man1/plcfw.1
share/man/man1/plcsim.1'
actual="$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"
check "installed files: $(echo $actual)" [ "$actual" = "$expected" ]
check "the installed plcfw runs" eval "\"\$prefix/bin/plcfw\" --version >/dev/null"

# man reports what groff warns about (a stray escape, an unknown macro).
man_clean() {
  local warnings
  warnings="$(MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { echo "$warnings" >&2; return 1; }
}
for page in plcfw plcsim; do
  check "man page $page renders cleanly" man_clean "$prefix/share/man/man1/$page.1"
done

completion="$prefix/share/bash-completion/completions/plcfw"
check "the completion parses" bash -n "$completion"
# complete WORD...: what the completion offers for the last word of
# "plcfw WORD...", one a line, sorted.
complete_words() {
  bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion || exit 1
    source "$1" || exit 1
    shift
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
    _plcfw "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort' bash "$completion" "$prefix/bin/plcfw" "$@"
}
check "--mo completes to --model" [ "$(complete_words --mo)" = "--model" ]
check "--li offers both lists (from --help)" [ "$(complete_words --li | tr '\n' ' ')" = "--list-models --list-ports " ]
check "--model VM5 offers the VM500 models" \
  [ "$(complete_words --model VM5 | tr '\n' ' ')" = "VM500 VM500-AIO " ]
check "--model=LP offers the LP models" \
  [ "$(complete_words --model=LP | tr '\n' ' ')" = "LP32 LP4 LP4-P " ]
ports="$("$prefix/bin/plcfw" --list-ports | awk '{ for (i = 1; i <= NF; i++) print $i }' | LC_ALL=C sort)"
check "--port offers the listed ports" [ "$(complete_words --port '')" = "$ports" ]
# A USB PLC's by-path name holds colons, where readline splits words: the
# completion must still complete it as one name.  A stand-in plcfw lists it.
byPath=/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0
printf '#!/bin/sh\n[ "$1" = --list-ports ] && echo "ttyACM0  %s"\n' "$byPath" >"$prefix/stand-in"
chmod +x "$prefix/stand-in"
colon_reply="$(bash --norc --noprofile -c '
  source /usr/share/bash-completion/bash_completion && source "$1" || exit 1
  COMP_LINE="plcfw --port ${2%:*}" COMP_POINT=${#COMP_LINE}
  COMP_WORDS=(plcfw --port /dev/serial/by-path/pci-0000 : 00 : 14.0-usb-0 : 1) COMP_CWORD=8
  _plcfw "$3" 1 :
  printf "%s\n" "${COMPREPLY[@]}"' bash "$completion" "$byPath" "$prefix/stand-in")"
check "--port completes a by-path name across its colons (got '$colon_reply')" [ "$colon_reply" = "1:1.0" ]
check "--image completes file names" [ "$(complete_words --image "$prefix/bin/plcs")" = "$prefix/bin/plcsim" ]

counts "install"
[ "$failed" -eq 0 ]
