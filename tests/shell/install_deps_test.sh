# tools/install-deps.sh against a package manager that is busy at first (as
# on a fresh machine running its boot-time updates): it waits and retries
# instead of failing at once; and which packages each of its sets holds. The package tools are stand-ins on PATH.
source "$(dirname "$0")/lib.inc"
SCRIPT=$SRC/tools/install-deps.sh
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
# No locale but C is generated; locale-gen is recorded.
printf 'C\nC.utf8\nPOSIX\n' > "$ROOT/locales"
cat > "$ROOT/bin/locale" <<SH
#!/bin/sh
cat "$ROOT/locales"
SH
cat > "$ROOT/bin/locale-gen" <<SH
#!/bin/sh
echo locale-gen >> "$ROOT/calls"
SH
printf '# en_US.UTF-8 UTF-8\n# ja_JP.EUC-JP EUC-JP\n#  ja_JP.UTF-8 UTF-8\n' > "$ROOT/locale.gen"
export LOCALE_GEN=$ROOT/locale.gen
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
expect "the install succeeds after the lock is freed (exit $code)" '[ "$code" -eq 0 ]'
expect "update was tried three times" '[ "$(grep -c update "$ROOT/calls")" -eq 3 ]'
expect "then the packages were installed" 'grep -q "install -y" "$ROOT/calls"'
expect "every call waits for the dpkg lock" '[ "$(grep -c "DPkg::Lock::Timeout" "$ROOT/calls")" -eq 4 ]'
# `make run` installs what the saver needs to build and run, no test tools;
# `make test` (--test) adds them.
expect "the saver's set has the libraries but no test tools" \
  'grep "install -y" "$ROOT/calls" | grep -q libsdl2-dev && ! grep "install -y" "$ROOT/calls" | grep -Eq "libgtest|libbenchmark|xdotool|imagemagick"'
expect "the saver's set generates no locale" '! grep -q locale-gen "$ROOT/calls" && ! grep -q "^[a-z]" "$ROOT/locale.gen"'
: > "$ROOT/calls"
PATH="$ROOT/bin:$PATH" bash "$SCRIPT" --test >> "$ROOT/out" 2>&1
expect "--test adds the test libraries and tools" \
  'grep "install -y" "$ROOT/calls" | grep -q "libsdl2-dev.*libgtest-dev.*xdotool imagemagick"'
expect "and generates the Japanese and English UTF-8 locales" \
  'grep -q locale-gen "$ROOT/calls" && [ "$(grep -cxE "(ja_JP|en_US).UTF-8 UTF-8" "$ROOT/locale.gen")" -eq 2 ]'
cat "$ROOT/out"
[ "$failures" -eq 0 ]
