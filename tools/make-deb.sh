#!/usr/bin/env bash
# Builds the Debian package BUILD/nereval_<version>_<arch>.deb (or in OUTDIR)
# from a build tree configured with CMAKE_INSTALL_PREFIX=/usr, the way a
# Debian source package's rules would: `cmake --install` into a staging root,
# binaries stripped as dh_strip strips them, the copyright file and the
# changelog of tools/install/debian in usr/share/doc/nereval, manual pages
# and the changelog compressed with gzip -9n, Depends from dpkg-shlibdeps,
# the control file (with Installed-Size as dpkg counts it) from
# dpkg-gencontrol, no maintainer scripts, and dpkg-deb --root-owner-group.
# The dialog module is private (opened by path, not linked), so there is
# nothing for ldconfig to do.
#
# Usage: tools/make-deb.sh [--any-prefix] BUILD [OUTDIR]
#   --any-prefix  accept a tree configured for another prefix. The program and
#                 the desktop entry of such a package name that prefix, so it is
#                 for checking the package's contents (the tests), not for use.
set -euo pipefail

any_prefix=0
if [ "${1:-}" = --any-prefix ]; then any_prefix=1; shift; fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 [--any-prefix] BUILD [OUTDIR]" >&2; exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=$(mkdir -p "${2:-$build}" && cd "${2:-$build}" && pwd)
die() { echo "make-deb: $*" >&2; exit 1; }

[ -f "$build/CMakeCache.txt" ] || die "$build is not a configured build tree"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ] && [ "$any_prefix" -eq 0 ]; then
  die "$build is configured for $prefix, and the package installs under /usr: cmake -DCMAKE_INSTALL_PREFIX=/usr $build"
fi
debian=$src/tools/install/debian
version=$(dpkg-parsechangelog -l "$debian/changelog" -S Version)
project_version=$(sed -n 's/^project(Nereval VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ "$version" = "$project_version" ] ||
  die "the changelog's version $version is not the project's $project_version: add an entry to $debian/changelog"
arch=$(dpkg --print-architecture)

# The layout of a source package, as dpkg-shlibdeps and dpkg-gencontrol
# expect, beside the package (debian/files names it).
work=$out/deb
rm -rf "$work"
mkdir -p "$work/debian"
cp "$debian/control" "$debian/changelog" "$work/debian/"
root=$work/debian/nereval
cd "$work"
# The package's files, dated by the changelog (dpkg-deb clamps mtimes to it).
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l debian/changelog -S Timestamp)

umask 022
DESTDIR=$root cmake --install "$build" --prefix /usr > install.log 2>&1 ||
  { cat install.log >&2; die "cmake --install failed"; }
if grep -q "CMake Warning" install.log; then cat install.log >&2; fi

# ELF files stripped as dh_strip strips them (the install copies them as
# built): programs of all symbols and debug information, shared objects of
# what no relocation needs, both without the .comment and .note sections.
elves=()
while IFS= read -r -d '' f; do
  if [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ]; then
    elves+=("$f")
    case $f in
      *.so|*.so.*) strip --remove-section=.comment --remove-section=.note --strip-unneeded "$f" ;;
      *) strip --remove-section=.comment --remove-section=.note "$f" ;;
    esac
  fi
done < <(find "$root" -type f -print0)
[ ${#elves[@]} -gt 0 ] || die "no program was installed"

doc=$root/usr/share/doc/nereval
mkdir -p "$doc"
cp "$debian/copyright" "$doc/copyright"
gzip -9n < "$debian/changelog" > "$doc/changelog.gz"
find "$root/usr/share/man" -type f ! -name '*.gz' -exec gzip -9n {} +

# Modes as policy has them: folders and programs 755, everything else 644
# (shared objects too); owners are root's in the archive.
find "$root" -type d -exec chmod 755 {} +
find "$root" -type f -perm /111 ! -name '*.so' ! -name '*.so.*' -exec chmod 755 {} +
find "$root" -type f \( ! -perm /111 -o -name '*.so' -o -name '*.so.*' \) -exec chmod 644 {} +

dpkg-shlibdeps -Tdebian/substvars "${elves[@]}" 2> shlibdeps.log ||
  { cat shlibdeps.log >&2; die "dpkg-shlibdeps failed"; }
mkdir -p "$root/DEBIAN"
dpkg-gencontrol -pnereval -P"$root" -Tdebian/substvars -fdebian/files
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z |
  xargs -0 md5sum) > "$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb=$out/nereval_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" > /dev/null
echo "make-deb: $deb ($(dpkg-deb -f "$deb" Installed-Size) KiB installed)"
