# Full screen over two monitors of one X screen (RandR monitors made with
# `xrandr --setmonitor`): each monitor shows the whole scene at its own
# aspect (so the two halves show the same picture: enlarged whales the same
# size, the frame-rate text in both corners), and a key ends it.
source "$(dirname "$0")/lib.inc"

if ! split_monitors; then
  echo "skip: this server cannot be split into monitors"; exit 0
fi

xdotool mousemove 500 300
"$BIN" s --large-whales --fps & pid=$!
if wait_window; then pass "'s' opens with two monitors"; else fail "'s' opens with two monitors"; fi
sleep 3
import -window root "$ROOT/screen.png"
convert "$ROOT/screen.png" -crop 512x768+0+0 +repage "$ROOT/left.png"
convert "$ROOT/screen.png" -crop 512x768+512+0 +repage "$ROOT/right.png"
mean() { convert "$1" -colorspace Gray -format '%[fx:mean]' info:; }
l=$(mean "$ROOT/left.png"); r=$(mean "$ROOT/right.png")
check "both monitors show the sea ($l, $r)" awk -v a="$l" -v b="$r" 'BEGIN { exit !(a > 0.3 && b > 0.3) }'
diff=$(compare -metric RMSE "$ROOT/left.png" "$ROOT/right.png" null: 2>&1 | sed -E 's/.*\((.*)\).*/\1/')
check "each shows the whole picture, not half of a stretched one (difference $diff)" \
  awk -v d="$diff" 'BEGIN { exit !(d < 0.05) }'
xdotool key x
wait_exit $pid 15; check "a key ends it on both with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "nothing of it is left on the screen" [ -z "$(xdotool search --onlyvisible --name 'Nereval Screen Saver' 2>/dev/null)" ]

finish
