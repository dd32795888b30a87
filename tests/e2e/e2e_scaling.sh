#!/usr/bin/env bash
# The main window at 144 DPI (150 %): its client area is half again its 96-DPI
# size and the history button shows the picture drawn at 150 %, pixel for pixel.
# Screenshots are left in the test's work folder.
source "$(dirname "$0")/lib.sh"
if ! start_display; then
  echo "no Xvfb: skipped"
  exit 0
fi
e2e_init scaling

# The main window's client size at the prefix's current LogPixels.
client_size() {
  start_ombra || exit 1
  ui client; CLIENT=$UI
  ui rect 1011; BUTTON=$UI
  shot "$E2E_WORK/main-$1.png"
  quit_ombra
}

client_size 96
IFS=, read -r cx96 cy96 <<<"$CLIENT"
# Wine reads LogPixels when its server starts.
wine_run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f
bash "$E2E_ROOT/scripts/wine.sh" --server-stop </dev/null >/dev/null 2>&1 || true
bash "$E2E_ROOT/scripts/wine.sh" --server-start </dev/null >/dev/null 2>&1
client_size 144
IFS=, read -r cx144 cy144 <<<"$CLIENT"
near() { local d=$(($1 * 3 / 2 - $2)); test "${d#-}" -le 2; }
check "client width at 144 DPI is 150 % of $cx96 ($cx144)" near "$cx96" "$cx144"
check "client height at 144 DPI is 150 % of $cy96 ($cy144)" near "$cy96" "$cy144"

IFS=, read -r l t r b <<<"$BUTTON"
convert "$E2E_WORK/main-144.png" -crop "$((r - l))x$((b - t))+$l+$t" +repage "$E2E_WORK/history-button.png"
picture=$E2E_ROOT/resources/png/150/main_history.png
check "history button is the size of its 150 % picture ($BUTTON)" \
  test "$((r - l))x$((b - t))" = "$(identify -format '%wx%h' "$picture")"
# The picture's white is transparent: laid over the shot, it changes nothing there.
convert "$E2E_WORK/history-button.png" \( "$picture" -transparent white \) -composite "$E2E_WORK/history-overlay.png"
differ=$(compare -metric AE -fuzz 10% "$E2E_WORK/history-button.png" "$E2E_WORK/history-overlay.png" null: 2>&1 || true)
check "history button shows the 150 % picture ($differ pixels differ)" test "${differ%%.*}" -le 20
e2e_finish
