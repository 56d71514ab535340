#!/usr/bin/env bash
# Checks a built package as Debian would and as a new user meets it
# (`make deb-check`): lintian with no error or warning; then, in a fresh
# Debian 12 root made by mmdebstrap from this machine's Debian apt sources,
# the package's dependencies are installed, then the package alone with
# `apt-get install ./nereval_*.deb`, `nereval --version` runs, the hack runs
# under a virtual X server until it has written a screenshot, which must not
# be black, and `apt-get remove --purge` must leave the root's file list as
# it was before the package came (apt's and dpkg's own state, logs, /tmp and
# root's home, where the run keeps its settings and caches, aside). While
# installed, every new path must be one of the package's.
# The screenshot is kept beside the package: deb-check-screenshot.png.
# Needs root (mmdebstrap's root mode), lintian, mmdebstrap and ImageMagick
# (tools/install-deps.sh --deb-check).
# Usage: tools/deb-check.sh PACKAGE.deb
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1" ]; then echo "usage: $0 PACKAGE.deb" >&2; exit 2; fi
deb=$(readlink -f "$1")
shot=$(dirname "$deb")/deb-check-screenshot.png
started=$(date +%s)
say() { echo "deb-check: $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

say "lintian $deb"
code=0
lintian --fail-on error,warning --display-info "$deb" > "$work/lintian.log" 2>&1 || code=$?
grep -v "running with root privileges" "$work/lintian.log" || say "lintian: no tags"
[ "$code" -eq 0 ] || { say "FAIL: lintian reports errors or warnings (exit $code)"; exit 1; }

# This machine's Debian 12 sources (one-line or deb822 files), not third
# parties' whose keys a fresh root lacks.
mirrors=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  if [ -f "$f" ] && grep -v '^[[:space:]]*#' "$f" | grep -qE '(^|[[:space:]])bookworm(-[a-z]+)?([[:space:]]|$)'; then
    mirrors+=("$f")
  fi
done
[ ${#mirrors[@]} -gt 0 ] || { say "FAIL: no Debian 12 (bookworm) entry in this machine's apt sources"; exit 1; }

cp "$deb" "$work/$(basename "$deb")"
cat > "$work/inside.sh" << 'EOF'
# Run inside the fresh root, as root, with the package in /tmp.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
deb=$(ls /tmp/nereval_*.deb)
say() { echo "deb-check (root): $*"; }
# Every path of the root but what apt, dpkg and a run change on their own.
paths() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /root \
    -o -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache/apt -o -path /var/cache/debconf \
    -o -path /var/cache/ldconfig -o -path /var/log \) -prune -o -print | LC_ALL=C sort
}
apt_get() { apt-get -y -q -o Dpkg::Use-Pty=0 --no-install-recommends "$@"; }

say "the package's dependencies: $(dpkg-deb -f "$deb" Depends)"
apt_get satisfy "$(dpkg-deb -f "$deb" Depends)" > /tmp/satisfy.log || { cat /tmp/satisfy.log; exit 1; }
paths > /tmp/before
installed_before=$(dpkg-query -W -f '${Package}\n' | wc -l)

say "apt-get install ./$(basename "$deb")"
(cd /tmp && apt_get install "./$(basename "$deb")")
added=$(( $(dpkg-query -W -f '${Package}\n' | wc -l) - installed_before ))
[ "$added" -eq 1 ] || { say "FAIL: installing the package added $added packages, not 1"; exit 1; }
paths > /tmp/installed
dpkg -L nereval | LC_ALL=C sort > /tmp/owned
strays=$(LC_ALL=C comm -13 /tmp/before /tmp/installed | LC_ALL=C comm -23 - /tmp/owned)
[ -z "$strays" ] || { say "FAIL: installing made paths the package does not own:"; echo "$strays"; exit 1; }

version=$(nereval --version)
say "nereval --version: $version"
[ "$version" = "nereval $(dpkg-deb -f "$deb" Version)" ] || { say "FAIL: not the package's version"; exit 1; }

hack=$(dpkg -L nereval | grep '/libexec/xscreensaver/nereval$')
say "$hack --root under xvfb-run"
rm -f /tmp/shot.png
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
  NEREVAL_SCREENSHOT=/tmp/shot.png NEREVAL_SCREENSHOT_AFTER=4 "$1" --root &
  pid=$!
  for _ in $(seq 1 300); do
    [ -s /tmp/shot.png ] && break
    kill -0 "$pid" 2> /dev/null || { wait "$pid"; echo "the hack ended early (exit code $?)"; exit 1; }
    sleep 0.1
  done
  kill -TERM "$pid"; wait "$pid" || true
' _ "$hack"
[ -s /tmp/shot.png ] || { say "FAIL: the hack wrote no screenshot"; exit 1; }

say "apt-get remove --purge nereval"
apt_get remove --purge nereval
paths > /tmp/after
left=$(diff /tmp/before /tmp/after || true)
[ -z "$left" ] || { say "FAIL: removing the package changed the root's files:"; echo "$left"; exit 1; }
say "nothing of the package is left"
EOF

say "a fresh Debian 12 root from ${mirrors[*]}"
# TARGET /dev/null: the root is a temporary folder, removed at the end.
mmdebstrap --variant=apt --include=xvfb,xauth,ca-certificates \
  --customize-hook="upload $work/$(basename "$deb") /tmp/$(basename "$deb")" \
  --customize-hook="upload $work/inside.sh /tmp/inside.sh" \
  --customize-hook='chroot "$1" bash /tmp/inside.sh' \
  --customize-hook="download /tmp/shot.png $work/shot.png" \
  bookworm /dev/null "${mirrors[@]}"

cp "$work/shot.png" "$shot"
read -r mean spread < <(convert "$shot" -format '%[fx:mean] %[fx:standard_deviation]\n' info:)
say "screenshot $shot: mean brightness $mean, standard deviation $spread"
if ! awk -v m="$mean" 'BEGIN { exit !(m > 0.02) }'; then say "FAIL: the screenshot is black"; exit 1; fi
# a picture of a scene, not one flat colour
if ! awk -v s="$spread" 'BEGIN { exit !(s > 0.02) }'; then say "FAIL: the screenshot is one flat colour"; exit 1; fi
say "passed in $(( $(date +%s) - started )) s"
