#!/usr/bin/env bash
# The layering check on small trees of its own: each case lays out a few files
# and names what the check must print, or nothing for a tree that keeps to
# the layers.
set -euo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# lay <tree> <path> <included name>...: a file that includes the names.
lay() {
  local tree=$1 path=$2
  shift 2
  mkdir -p "$(dirname "$tree/$path")"
  : >"$tree/$path"
  for name in "$@"; do echo "#include \"$name\"" >>"$tree/$path"; done
}

# expect <case> <expected text, empty for none>: runs the check on the case's tree.
expect() {
  local tree=$work/$1 expected=$2 output status=0
  output=$("$check" "$tree" 2>/dev/null) || status=$?
  if [[ -z $expected && ( $status -ne 0 || -n $output ) ]] ||
     [[ -n $expected && ( $status -eq 0 || $output != *"$expected"* ) ]]; then
    echo "case $1: expected \"${expected:-no violation}\", got status $status:" >&2
    echo "$output" >&2
    failed=1
  fi
}

lay "$work/down" src/main.cpp session.h message.h ihandler.h QObject
lay "$work/down" libs/session/src/session.h message.h host_services.h
lay "$work/down" libs/shared/modules/host_services.h message.h
lay "$work/down" libs/shared/src/message.h
lay "$work/down" libs/shared/modules/ihandler.h
expect down ""

lay "$work/up" libs/shared/src/message.h session.h
lay "$work/up" libs/session/src/session.h
expect up 'libs/shared/src/message.h:1: "session.h" from libs/session/src: arrow up'

lay "$work/cycle" src/a/one.h two.h
lay "$work/cycle" src/b/two.h one.h
expect cycle "src/a and src/b include each other"

lay "$work/ambiguous" src/main.cpp config.h
lay "$work/ambiguous" libs/shared/src/config.h
lay "$work/ambiguous" libs/session/src/config.h
expect ambiguous 'src/main.cpp:1: "config.h": ambiguous, held by libs/session/src, libs/shared/src'

lay "$work/own_first" libs/shared/src/logging.cpp config.h
lay "$work/own_first" libs/shared/src/config.h
lay "$work/own_first" libs/session/src/config.h
expect own_first ""

lay "$work/host_only" modules/system/src/system.cpp module_loader.h
lay "$work/host_only" libs/session/src/module_loader.h
expect host_only "libs/session/src belongs to the host, not to modules/"

lay "$work/peers" modules/nmh/src/nmh.cpp ws.h
lay "$work/peers" modules/ws/src/ws.h
expect peers "modules/nmh/src and modules/ws/src are peers"

lay "$work/unlisted" libs/extra/extra.cpp message.h
lay "$work/unlisted" libs/shared/src/message.h
expect unlisted "libs/extra has no layer"

exit "$failed"
