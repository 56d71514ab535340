#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing, so a second run costs a
# dpkg query. With no argument: what building and running the saver need
# (`make run`, `make install`); with --test also what the tests, tools and benchmarks need
# (`make test`); with --bench also the comparable savers `make bench`
# measures beside the saver; with --fuzz also clang and its libFuzzer
# runtime for `make fuzz`; with --deb-check also lintian and mmdebstrap for
# `make deb-check`.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libwayland-dev libdecor-0-plugin-1-cairo libxrandr-dev libgl-dev libegl-dev libgl1-mesa-dri
  libstb-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libfluidsynth-dev timgm6mb-soundfont
  libgtk-3-dev fonts-ipafont-gothic libx11-dev
  libglib2.0-dev tzdata
  xvfb xauth x11-utils
)
test_packages=(
  git libgtest-dev libgmock-dev libbenchmark-dev
  xdotool imagemagick sox procps libxml2-utils x11-xserver-utils weston xscreensaver xsecurelock locales
)
# The dialog's tests run it in Japanese and in English: --test also
# generates these locales when the system lacks them (enabled in
# LOCALE_GEN, by default /etc/locale.gen, and built by locale-gen).
test_locales=()
for arg in "$@"; do
  case "$arg" in
    --test) packages+=("${test_packages[@]}"); test_locales=(ja_JP.UTF-8 en_US.UTF-8) ;;
    --bench) packages+=(xscreensaver-gl xscreensaver-gl-extra) ;;  # atlantis, glschool
    --fuzz) packages+=("${test_packages[@]}" clang libclang-rt-14-dev) ;;
    --deb-check) packages+=(lintian mmdebstrap imagemagick) ;;
    *) echo "usage: $0 [--test] [--bench] [--fuzz] [--deb-check]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

generate_locales() {
  local l wanted=()
  for l in "${test_locales[@]}"; do
    locale -a 2>/dev/null | grep -qix "${l%.UTF-8}.utf8" || wanted+=("$l")
  done
  [ ${#wanted[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing locales: ${wanted[*]}; run as root (or generate them yourself) and try again" >&2
    exit 1
  fi
  echo "install-deps: generating the locales ${wanted[*]}"
  local gen=${LOCALE_GEN:-/etc/locale.gen}
  for l in "${wanted[@]}"; do
    sed -i "s/^# *\($l UTF-8\)/\1/" "$gen"
    grep -q "^$l UTF-8" "$gen" || echo "$l UTF-8" >> "$gen"
  done
  locale-gen
}

if [ ${#missing[@]} -eq 0 ]; then
  generate_locales
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run as root (or install them yourself) and try again" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A fresh machine often runs its own updates at boot: wait for the package
# manager's locks (up to 15 minutes) instead of failing at once.
lock_wait=(-o DPkg::Lock::Timeout=900)
for attempt in $(seq 1 90); do
  if apt-get "${lock_wait[@]}" update -qq; then break; fi
  if [ "$attempt" -eq 90 ]; then echo "install-deps: apt-get update kept failing" >&2; exit 1; fi
  echo "install-deps: the package lists are busy or unreachable; retrying in 10 s" >&2
  sleep 10
done
apt-get "${lock_wait[@]}" install -y -qq --no-install-recommends "${missing[@]}"
generate_locales
