# tools/install-deps.sh against a package manager that is busy at first (as
# on a fresh machine running its boot-time updates): it waits and retries
# instead of failing at once; and which packages each of its sets holds. The package tools are stand-ins on PATH.
set -u
SCRIPT=$(cd "$(dirname "$0")/../.." && pwd)/tools/install-deps.sh
ROOT=$(mktemp -d)
trap 'rm -rf "$ROOT"' EXIT
mkdir "$ROOT/bin"
cat > "$ROOT/bin/dpkg-query" <<'SH'
#!/bin/sh
echo "unknown ok not-installed"
SH
cat > "$ROOT/bin/id" <<'SH'
#!/bin/sh
echo 0
SH
cat > "$ROOT/bin/sleep" <<'SH'
#!/bin/sh
exit 0
SH
# apt-get: "update" fails twice with the lock message, then works.
cat > "$ROOT/bin/apt-get" <<SH
#!/bin/sh
echo "\$*" >> "$ROOT/calls"
case " \$* " in
  *" update "*)
    n=\$(grep -c update "$ROOT/calls")
    if [ "\$n" -le 2 ]; then echo "E: Could not get lock /var/lib/apt/lists/lock" >&2; exit 100; fi ;;
esac
exit 0
SH
chmod +x "$ROOT"/bin/*

PATH="$ROOT/bin:$PATH" bash "$SCRIPT" > "$ROOT/out" 2>&1; code=$?
failures=0
expect() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi; }
expect "the install succeeds after the lock is freed (exit $code)" '[ "$code" -eq 0 ]'
expect "update was tried three times" '[ "$(grep -c update "$ROOT/calls")" -eq 3 ]'
expect "then the packages were installed" 'grep -q "install -y" "$ROOT/calls"'
expect "every call waits for the dpkg lock" '[ "$(grep -c "DPkg::Lock::Timeout" "$ROOT/calls")" -eq 4 ]'
# `make run` installs what the saver needs to build and run, no test tools;
# `make test` (--test) adds them.
expect "the saver's set has the libraries but no test tools" \
  'grep "install -y" "$ROOT/calls" | grep -q libsdl2-dev && ! grep "install -y" "$ROOT/calls" | grep -Eq "libgtest|libbenchmark|xdotool|imagemagick"'
: > "$ROOT/calls"
PATH="$ROOT/bin:$PATH" bash "$SCRIPT" --test >> "$ROOT/out" 2>&1
expect "--test adds the test libraries and tools" \
  'grep "install -y" "$ROOT/calls" | grep -q "libsdl2-dev.*libgtest-dev.*xdotool imagemagick"'
cat "$ROOT/out"
[ "$failures" -eq 0 ]
