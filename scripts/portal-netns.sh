#!/bin/bash
# Two portals in two network namespaces, each with its own address, its own
# home folder and its own copy of the program, both listening on port 23.
# Station A sends the newest file of its outbox to station B, driven from the
# keyboard with xdotool; the script checks that B received it byte for byte.
#
#   sudo scripts/portal-netns.sh [build-dir] [mail-file]
#
# Needs root, ip (iproute2), xvfb-run, xdotool and import (imagemagick).
# Without a mail file one is written in the composer's format. Everything it
# creates is removed again on exit; screenshots stay in the work folder.
set -euo pipefail

build=${1:-build-portal}
mail_file=${2:-}
portal=$(realpath "$build/portal/tavrixportal")
[ -x "$portal" ] || { echo "no tavrixportal in $build"; exit 2; }
[ "$(id -u)" = 0 ] || { echo "run as root (network namespaces)"; exit 2; }

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$mail_file"
fi

ns_a=tvxportal-a ns_b=tvxportal-b
addr_a=10.77.23.1 addr_b=10.77.23.2
work=$(mktemp -d /tmp/portal-netns.XXXXXX)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  ip netns del "$ns_a" 2>/dev/null || true
  ip netns del "$ns_b" 2>/dev/null || true
  echo "work folder kept: $work"
}
trap cleanup EXIT

ip netns del "$ns_a" 2>/dev/null || true
ip netns del "$ns_b" 2>/dev/null || true
ip netns add "$ns_a"
ip netns add "$ns_b"
ip link add tvxp-a type veth peer name tvxp-b
ip link set tvxp-a netns "$ns_a"
ip link set tvxp-b netns "$ns_b"
ip -n "$ns_a" addr add "$addr_a/24" dev tvxp-a
ip -n "$ns_b" addr add "$addr_b/24" dev tvxp-b
for ns in "$ns_a" "$ns_b"; do
  ip -n "$ns" link set lo up
done
ip -n "$ns_a" link set tvxp-a up
ip -n "$ns_b" link set tvxp-b up

for station in a b; do
  mkdir -p "$work/$station/home/mail send" "$work/$station/home/mail Receive" "$work/$station/program"
  cp "$portal" "$work/$station/program/tavrixportal"
done

stamp=$(date +%H-%M-%S--%m-%d-%y)
if [ -n "$mail_file" ]; then
  cp "$mail_file" "$work/a/home/mail send/"
  name=$(basename "$mail_file")
else
  # To: AB, Subject: X, Your Message: Hi, From- C, upper-cased and written as character codes.
  name="MAIL - From- C--$stamp.dat"
  printf '84 79 58 32 65 66,83 85 66 74 69 67 84 58 32 88,89 79 85 82 32 77 69 83 83 65 71 69 58 32 72 73,70 82 79 77 45 32 67\r\n' \
    > "$work/a/home/mail send/$name"
fi

start_portal() { # station namespace
  ip netns exec "$2" env HOME="$work/$1/home" XDG_CONFIG_HOME="$work/$1/home/.config" DISPLAY="$DISPLAY" \
    "$work/$1/program/tavrixportal" > "$work/$1/portal.log" 2>&1 &
  pids+=($!)
}
start_portal a "$ns_a"
start_portal b "$ns_b"

window_of() { # pid
  for _ in $(seq 50); do
    w=$(xdotool search --all --onlyvisible --pid "$1" --name '^telnet server$' 2>/dev/null | head -1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  return 1
}
win_a=$(window_of "${pids[0]}")
win_b=$(window_of "${pids[1]}")
echo "station A window $win_a in $ns_a ($addr_a), station B window $win_b in $ns_b ($addr_b)"
sleep 1
ip netns exec "$ns_b" ss -tln | grep -q ':23 ' && echo "station B listens on port 23"

# Keyboard only, in tab order: Text1, ADD, Delete, List1 (picks the entry),
# Txtremoteip, Reconnect, Txtstationid, Send Packet Mail Message.
xdotool windowfocus --sync "$win_a"
xdotool type --delay 20 "STATIONB-$addr_b"
xdotool key Tab space
sleep 0.3
xdotool key Tab Tab
sleep 0.3
xdotool key Tab Tab Tab Tab space

received="$work/b/home/mail Receive/$name"
for _ in $(seq 50); do
  [ -f "$received" ] && break
  sleep 0.2
done
sleep 0.5
import -window root "$work/after-send.png"
if cmp "$work/a/home/mail send/$name" "$received"; then
  echo "OK: station B received \"$name\" byte for byte"
  result=0
else
  echo "FAILED: \"$name\" did not arrive intact at station B"
  result=1
fi
echo "station list of A: $(tr -d '\r' < "$work/a/program/listitems.txt")"

# Chat from A to B. Focus is on "Send Packet Mail  Message"; one step back is
# the station ID, twelve steps on is "  Chat Connect ", two more the chat entry.
xdotool windowfocus --sync "$win_a"
xdotool key shift+Tab
xdotool type --delay 20 "STATIONA"
for _ in $(seq 13); do xdotool key Tab; done
xdotool key space
sleep 1
xdotool key Tab Tab
xdotool type --delay 20 "hello from A"
xdotool key Return
sleep 1
if ip netns exec "$ns_b" ss -tn state established '( sport = :23 )' | grep -q "$addr_a"; then
  echo "OK: chat connection from $addr_a to $addr_b:23 is open"
else
  echo "FAILED: no chat connection"
  result=1
fi
xdotool windowraise "$win_b"
sleep 0.5
import -window "$win_b" "$work/station-b-chat.png"
xdotool windowraise "$win_a"
sleep 0.5
import -window "$win_a" "$work/station-a-chat.png"
# B ends the chat: tab to " End  Chat" from its first control.
xdotool windowfocus --sync "$win_b"
for _ in $(seq 20); do xdotool key Tab; done
xdotool key space
sleep 1
if ip netns exec "$ns_a" ss -tln | grep -q ':23 ' && ! ip netns exec "$ns_b" ss -tn state established | grep -q ':23'; then
  echo "OK: chat ended, both stations listen on port 23 again"
else
  echo "FAILED: chat did not end cleanly"
  result=1
fi
xdotool windowraise "$win_a"
sleep 0.5
import -window "$win_a" "$work/station-a-ended.png"
exit $result
