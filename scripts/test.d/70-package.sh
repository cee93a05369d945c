# The Debian packages: built with dpkg-buildpackage from a copy of the tree
# (so that the packages land in build/package, not beside the checkout),
# checked by lintian, then installed: the programs on the PATH, the man pages,
# the completion, the udev rule, and a whole burn of the installed plcfw into
# the installed plcsim with the embedded image arriving exact.  The packages
# are purged again at the end.
source "$(dirname "$0")/../lib.sh"
set -euo pipefail
ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

passed=0 failed=0
OUT="$ROOT/build/package"
version="$(sed -n 's/^project(plcfwupdate VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
arch="$(dpkg --print-architecture)"
check "debian/changelog names the project's version $version" \
  [ "$(dpkg-parsechangelog -l "$ROOT/debian/changelog" -S Version)" = "$version" ]

# The files git tracks or would track, as they are in the work tree; a tree
# without git (fresh-root's copy holds just those files) is taken whole but
# for its builds.
rm -rf "$OUT"
src="$OUT/plcfwupdate-$version"
mkdir -p "$src"
if git -C "$ROOT" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -)
else
  tar -C "$ROOT" --exclude=./build --exclude='./obj-*' -cf - .
fi | tar -C "$src" -xf -

say "dpkg-buildpackage (its log: build/package/build.log)"
started=$(date +%s)
built=0
(cd "$src" && DEB_BUILD_OPTIONS="parallel=2 nocheck" nice -n 10 dpkg-buildpackage -b -us -uc) \
  >"$OUT/build.log" 2>&1 && built=1
echo "package: dpkg-buildpackage took $(($(date +%s) - started)) s" >&2
[ $built -eq 1 ] || tail -n 30 "$OUT/build.log" >&2
check "dpkg-buildpackage -b -us -uc" [ $built -eq 1 ]
plcfw_deb="$OUT/plcfw_${version}_$arch.deb"
plcsim_deb="$OUT/plcsim_${version}_$arch.deb"
check "plcfw and plcsim built for $arch" test -f "$plcfw_deb" -a -f "$plcsim_deb"
if [ ! -f "$plcfw_deb" ] || [ ! -f "$plcsim_deb" ]; then
  echo "package: $passed passed, $failed failed"
  exit 1
fi

# contents DEB: the files of a package, one a line, sorted.
contents() { dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort; }
check "plcfw holds the program, its man page, the completion and the udev rule" \
  [ "$(contents "$plcfw_deb" | grep -v '^usr/share/doc/')" = "usr/bin/plcfw
usr/lib/udev/rules.d/70-plcfw.rules
usr/share/bash-completion/completions/plcfw
usr/share/man/man1/plcfw.1.gz" ]
check "plcsim holds the simulator and its man page" \
  [ "$(contents "$plcsim_deb" | grep -v '^usr/share/doc/')" = "usr/bin/plcsim
usr/share/man/man1/plcsim.1.gz" ]

# lintian: no error; its warnings are printed for the reader.
lintian --tag-display-limit 0 "$OUT"/plcfwupdate_"${version}"_"$arch".changes >"$OUT/lintian.txt" 2>&1 || true
grep -v "running with root privileges" "$OUT/lintian.txt" | sed 's/^/  lintian: /' >&2 || true
check "lintian reports no error" eval '! grep -q "^E: " "$OUT/lintian.txt"'

if [ "$(id -u)" -ne 0 ]; then
  say "installing the packages needs root: the install checks are left out"
  echo "package: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
fi

# The stage purges what it installed; a plcfw or plcsim that was installed
# before it is somebody's, and is never replaced or purged by a test.
# (dpkg-query fails for a package it has never seen: not an error here.)
installed="$({ dpkg-query -W -f='${db:Status-Status} ${Package}\n' plcfw plcsim 2>/dev/null || true; } |
  awk '$1 == "installed" {print $2}' | xargs)"
if [ -n "$installed" ]; then
  check "no plcfw or plcsim package installed before the stage (found: $installed)" false
  echo "package: $passed passed, $failed failed"
  exit 1
fi

work="$(mktemp -d)"
simpid=""
cleanup() {
  [ -z "$simpid" ] || kill "$simpid" 2>/dev/null || true
  dpkg --purge plcfw plcsim >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
check "dpkg -i installs both packages" eval 'dpkg -i "$plcfw_deb" "$plcsim_deb" >"$work/dpkg.log" 2>&1'
check "plcfw and plcsim are on the PATH" \
  eval '[ "$(command -v plcfw)" = /usr/bin/plcfw ] && [ "$(command -v plcsim)" = /usr/bin/plcsim ]'
check "man finds both pages" eval 'man -w plcfw >/dev/null && man -w plcsim >/dev/null'
check "man plcfw shows the exit statuses" eval 'MANWIDTH=80 man plcfw 2>/dev/null | grep -q "^EXIT STATUS"'
# udevadm test reads every rules file and names each line it cannot use (a
# mistyped key, an unknown group) before it applies them to a device.
rule=/usr/lib/udev/rules.d/70-plcfw.rules
tty_device="$(find /sys/class/tty/ -mindepth 1 -maxdepth 1 | head -n 1)"
udevadm test --action=add "$tty_device" >"$work/udev.log" 2>&1 || true
check "udev reads the rule where packages put rules" grep -qxF "Reading rules file: $rule" "$work/udev.log"
check "... and takes every line of it" eval '! grep -F "$rule:" "$work/udev.log" >&2'
check "bash-completion loads the completion on demand" bash --norc --noprofile -c '
  source /usr/share/bash-completion/bash_completion && __load_completion plcfw &&
  complete -p plcfw | grep -q _plcfw'

# The embedded image, through the package build and dh_strip: a whole burn
# into the simulated VM500, which does not receive the last 4,096 bytes.
image="$(sed -n 's/^PLC_FIRMWARE_BIN:INTERNAL=//p' "$src"/obj-*/CMakeCache.txt)"
plcsim --model VM500 --once --flash-out "$work/flash.bin" --link "$work/plc" >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -e "$work/plc" ] && break || sleep 0.1; done
burned=0
timeout 120 plcfw --port "$work/plc" --yes </dev/null >"$work/burn.out" 2>"$work/burn.err" && burned=1
wait "$simpid" || true
simpid=""
check "the installed plcfw burns the installed plcsim" [ $burned -eq 1 ]
check "the image arrives exact" cmp -s "$work/flash.bin" <(head -c $(($(stat -c %s "$image") - 4096)) "$image")

check "dpkg --purge removes both packages" eval 'dpkg --purge plcfw plcsim >>"$work/dpkg.log" 2>&1'
check "... and their files" eval '[ ! -e /usr/bin/plcfw ] && [ ! -e /usr/lib/udev/rules.d/70-plcfw.rules ]'
[ "$failed" -eq 0 ] || cat "$work/dpkg.log" "$work/burn.out" "$work/burn.err" >&2
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
