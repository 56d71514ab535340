#!/usr/bin/env bash
# Runs the headless school (flocksim) for simulated days and checks what must
# not drift with time: the rotating camera's distance from its centre, or the
# camera rig's bob speed over frames of uneven length.
#
#   tools/flocksim-days.sh FLOCKSIM orbit|bob DAYS [flocksim options...]
#
#   orbit  camera mode 3, steady steps: the eye's largest distance from the
#          point it aims at is within 5 % of its smallest
#   bob    camera mode 1, steps varying by 2 %: the rig's bob speed inside its
#          band stays between 4 and 6 units per second (the design's 5)
#
# Both also need no NaN or infinite value. Prints flocksim's summary and one
# verdict line; exits 0 when the check holds, 1 when it fails, 2 on a usage
# error or when flocksim itself fails.
set -u

if [ $# -lt 3 ]; then
    echo "usage: $0 FLOCKSIM orbit|bob DAYS [flocksim options...]" >&2
    exit 2
fi
flocksim=$1
check=$2
days=$3
shift 3
seconds=$(awk -v d="$days" 'BEGIN { if (d + 0 <= 0) exit 1; printf "%d", d * 86400 }') || {
    echo "$0: DAYS must be a positive number" >&2
    exit 2
}

case $check in
    orbit) args=(--camera-mode 3) ;;
    bob) args=(--camera-mode 1 --jitter 0.02) ;;
    *)
        echo "$0: unknown check '$check' (orbit or bob)" >&2
        exit 2
        ;;
esac

# Only the summary is kept: a day has 1440 minute lines.
out=$(mktemp) || exit 2
trap 'rm -f "$out"' EXIT
"$flocksim" --seconds "$seconds" --seed 2 "${args[@]}" "$@" >"$out"
status=$?
summary=$(grep '^# summary:' "$out")
echo "$summary"
if [ -z "$summary" ] || [ "$status" -gt 1 ]; then
    echo "$check: flocksim failed (status $status)" >&2
    exit 2
fi

# The verdict from the summary's "nan N", "eye-distance MIN..MAX" and
# "rig-speed MIN..MAX".
awk -v check="$check" -v days="$days" '
    function range(name,    m, part) {
        if (!match($0, name " [0-9.]+\\.\\.[0-9.]+")) return 0
        part = substr($0, RSTART + length(name) + 1, RLENGTH - length(name) - 1)
        split(part, m, "\\.\\.")
        lo = m[1] + 0
        hi = m[2] + 0
        return 1
    }
    {
        nan = match($0, /nan [0-9]+/) ? substr($0, RSTART + 4, RLENGTH - 4) + 0 : -1
        ok = nan == 0
        if (check == "orbit") {
            have = range("eye-distance")
            ok = ok && have && lo > 0 && hi <= 1.05 * lo
            printf "orbit over %s days: eye distance %.2f..%.2f (%.2f %% apart, at most 5), nan %d: %s\n",
                   days, lo, hi, (have && lo > 0) ? 100 * (hi - lo) / lo : -1, nan, ok ? "ok" : "FAILED"
        } else {
            have = range("rig-speed")
            ok = ok && have && lo >= 4 && hi <= 6
            printf "bob over %s days: rig speed %.3f..%.3f units/s (4..6), nan %d: %s\n",
                   days, lo, hi, nan, ok ? "ok" : "FAILED"
        }
        exit ok ? 0 : 1
    }' <<<"$summary"
