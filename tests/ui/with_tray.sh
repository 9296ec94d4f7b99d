#!/bin/sh
# Runs a program on a private virtual X display on which trayer provides a
# system tray. The program itself waits for the tray to appear.
set -eu
exec xvfb-run --auto-servernum --server-args="-screen 0 800x600x24" sh -c '
  trayer --edge top --align right --widthtype request --height 24 &
  tray=$!
  status=0
  "$@" || status=$?
  kill "$tray" 2>/dev/null || true
  exit "$status"
' with_tray "$@"
