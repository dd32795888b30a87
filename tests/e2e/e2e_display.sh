#!/usr/bin/env bash
# The main window on a real (virtual) display during an automatic recording:
# the level meters light up with the call's audio and go dark at the stop; the
# history button shows the history window docked under the main window and
# hides it again; the close button hides the main window and a click on the
# tray icon brings it back. Screenshots are left in the test's work folder.
source "$(dirname "$0")/lib.sh"
if ! start_display; then
  echo "no Xvfb: skipped"
  exit 0
fi
e2e_init display

reg_byte rectype 1
reg_byte notifyhistory 0
start_ombra || exit 1
ui find
check "main window visible on the display" grep -q "visible=1" <<<"$UI"
ui_bg watch.txt watch 30 1005 1006 1009
start_sim --announce --scenario "$E2E_TESTS/display.txt" --quit-after 30
ui wait-text 1009 "Recording in progress ..." 20
check "the call is recorded" test $? = 0
ui wait-meter 1005 0.1 5
check "my side's level reaches meter 1005 ($UI)" test $? = 0
ui wait-meter 1006 0.1 5
check "the remote level reaches meter 1006 ($UI)" test $? = 0
shot "$E2E_WORK/recording.png"
ui wait-text 1009 "Ready for recording ..." 15
check "the end of the call stops the recording" test $? = 0
sleep 0.5
ui meter 1005
check "meter 1005 dark after the stop ($UI)" grep -q "lit=0.000" <<<"$UI"
ui meter 1006
check "meter 1006 dark after the stop ($UI)" grep -q "lit=0.000" <<<"$UI"

ui rect; main_rect=$UI
ui click 1011
ui wait-history visible 5
check "history button shows the history window" test $? = 0
hist_rect=$(sed -n 's/.*rect=\([-0-9,]*\).*/\1/p' <<<"$UI")
shot "$E2E_WORK/history.png"
IFS=, read -r ml mt mr mb <<<"$main_rect"
IFS=, read -r hl ht hr hb <<<"$hist_rect"
check "history window docked under the main window (main $main_rect, history $hist_rect)" \
  test "$hl,$ht" = "$ml,$mb"
ui history-count
check "the history tree has rows ($UI)" test "${UI:-0}" -ge 1
ui click 1011
ui wait-history hidden 5
check "history button hides it again" test $? = 0

ui click 1000
sleep 0.5
ui find
check "close button hides the main window" grep -q "visible=0" <<<"$UI"
ui tray left
sleep 0.5
ui find
check "a click on the tray icon shows it again" grep -q "visible=1" <<<"$UI"
check "recorder exits on Exit" quit_ombra
e2e_finish
