#!/bin/bash
# Two portals in two network namespaces, each with its own address, its own
# home folder and its own copy of the program, both listening on port 23.
# Station A sends the newest file of its outbox to station B, driven from the
# keyboard with xdotool; the script checks that B received it byte for byte.
# Then transfers that end badly: A killed while it sends, a peer that resets
# mid-transfer, a peer that stops early but closes in order, and B killed
# while it receives. Nothing may stand under a final name in B's receive
# folder that is not complete, unless B's status box says it may be incomplete.
#
#   sudo scripts/portal-netns.sh [build-dir] [mail-file]
#
# Needs root, ip and tc (iproute2), xvfb-run, xdotool, python3 (with tkinter
# to read a status box through the clipboard) and, for screenshots, import
# (imagemagick; skipped when missing).
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
extra_pids=()
shot() { # window file
  if command -v import >/dev/null; then import -window "$1" "$2"; fi
}

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${extra_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
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
shot root "$work/after-send.png"
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
shot "$win_b" "$work/station-b-chat.png"
xdotool windowraise "$win_a"
sleep 0.5
shot "$win_a" "$work/station-a-chat.png"
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
shot "$win_a" "$work/station-a-ended.png"

# ---- Transfers that end badly -------------------------------------------
# The connection-status box of a window, read through the clipboard: Tab
# through the controls until the copied text is that box (it holds the
# socket status line with the station's own address).
status_of() { # window address
  # Forget the last copy: a clipboard whose owner has ended is empty.
  python3 -c 'import tkinter; r = tkinter.Tk(); r.withdraw(); r.clipboard_clear(); r.clipboard_append("-"); r.update()' 2>/dev/null || true
  xdotool windowfocus --sync "$1"
  for _ in $(seq 60); do
    xdotool key Tab ctrl+a ctrl+c
    sleep 0.15
    text=$(python3 -c 'import tkinter; r = tkinter.Tk(); r.withdraw(); print(r.clipboard_get())' 2>/dev/null || true)
    if grep -q "LocalIP=$2" <<<"$text"; then
      printf '%s\n' "$text" | tee -a "$work/status-boxes.txt"
      echo ---- >> "$work/status-boxes.txt"
      return 0
    fi
  done
  return 1
}
check() { # description, command...
  local what=$1; shift
  if "$@"; then echo "OK: $what"; else echo "FAILED: $what"; result=1; fi
}
incoming_b="$work/b/home/mail Receive/.incoming"
parts_left() { [ -d "$incoming_b" ] && [ -n "$(ls -A "$incoming_b")" ]; }
no_parts() { ! parts_left; }
no_final() { [ ! -e "$work/b/home/mail Receive/$1" ]; }
b_listens() { ip netns exec "$ns_b" ss -tln | grep -q ':23 '; }
b_receiving() { ip netns exec "$ns_b" ss -tn state established '( sport = :23 )' | grep -q "$addr_a"; }
wait_for() { # seconds, command...
  local n=$(( $1 * 10 )); shift
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}
# A peer speaking the wire format from station A's namespace.
raw_peer() { # how (reset|close|slow) name bytes
  ip netns exec "$ns_a" python3 - "$addr_b" "$@" <<'PY'
import socket, struct, sys, time
host, how, name, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
s = socket.create_connection((host, 23), timeout=10)
s.sendall(b"MAIL:" + name.encode() + b"\r\n")
body = (b"84 79 58 32 65 66," * (size // 18 + 1))[:size]
if how == "slow":
    for i in range(0, size, 1000):
        s.sendall(body[i:i + 1000]); time.sleep(0.05)
else:
    s.sendall(body)
time.sleep(1)
if how == "reset":
    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
s.close()
PY
}

# 1. Station A killed while it sends: the link is slowed so the send takes a while.
ip netns exec "$ns_a" tc qdisc add dev tvxp-a root tbf rate 2mbit burst 32kbit latency 400ms
big="MAIL - big--$stamp.dat"
python3 -c 'import sys; sys.stdout.buffer.write(b"84 79 58 32 65 66,83 85 66," * 120000 + b"\r\n")' > "$work/a/home/mail send/$big"
touch "$work/a/home/mail send/$big"
kill "${pids[0]}"; wait "${pids[0]}" 2>/dev/null || true
start_portal a "$ns_a"
pid_a=${pids[-1]}
win_a=$(window_of "$pid_a")
sleep 1
# Fresh window: focus on the station entry; four steps on is the IP box, three more Send.
xdotool windowfocus --sync "$win_a"
xdotool key Tab Tab Tab Tab
xdotool type --delay 20 "$addr_b"
xdotool key Tab Tab Tab space
if wait_for 10 b_receiving; then
  sleep 2
  kill -9 "$pid_a"
  echo "station A killed while sending $(stat -c %s "$work/a/home/mail send/$big") bytes"
  sleep 2
  check "no \"$big\" under its final name after the sender was killed" no_final "$big"
  check "no part file left in B's .incoming" no_parts
  check "station B listens again" wait_for 5 b_listens
  status=$(status_of "$win_b" "$addr_b" || true)
  check "B's status box says the transfer was broken off" grep -q "Receive file $big broken off" <<<"$status"
else
  echo "FAILED: station A's send of $big never reached B"; result=1
fi
ip netns exec "$ns_a" tc qdisc del dev tvxp-a root

# 2. A peer that resets mid-transfer.
raw_peer reset "MAIL - reset--$stamp.dat" 200000
sleep 1
check "no file under its final name after a reset" no_final "MAIL - reset--$stamp.dat"
status=$(status_of "$win_b" "$addr_b" || true)
check "B's status box says the reset transfer was broken off" grep -q "Receive file MAIL - reset--$stamp.dat broken off" <<<"$status"

# 3. A peer that stops in the middle of a line but closes in order: the wire
#    cannot tell, so the file is kept and marked as possibly incomplete.
raw_peer close "MAIL - short--$stamp.dat" 1000
sleep 1
check "the early-closed file is kept" test -f "$work/b/home/mail Receive/MAIL - short--$stamp.dat"
status=$(status_of "$win_b" "$addr_b" || true)
check "B's status box says it may be incomplete" grep -q "MAIL - short--$stamp.dat may be incomplete" <<<"$status"

# 4. Station B killed while it receives: the part stays hidden and is removed
#    at B's next start.
raw_peer slow "MAIL - cut--$stamp.dat" 200000 &
extra_pids+=($!)
sleep 2
kill -9 "${pids[1]}"
wait "${extra_pids[-1]}" 2>/dev/null || true
check "no file under its final name while B was killed receiving" no_final "MAIL - cut--$stamp.dat"
check "the killed receiver left its part in .incoming only" parts_left
start_portal b "$ns_b"
win_b=$(window_of "${pids[-1]}")
sleep 1
check "the part is removed when B starts again" no_parts
status=$(status_of "$win_b" "$addr_b" || true)
check "B's status box says how many parts it removed" grep -q "Removed 1 unfinished receive file" <<<"$status"
echo "receive folder of B: $(ls -A "$work/b/home/mail Receive" | tr '\n' '|')"

# 5. A chat peer whose network vanishes (no FIN, no reset): keep-alive finds
#    out within about two minutes and B takes calls again.
b_alone() { ! b_receiving; }
ip netns exec "$ns_a" python3 - "$addr_b" <<'PY' &
import socket, sys, time
s = socket.create_connection((sys.argv[1], 23), timeout=10)
s.sendall(b"CHAT:VANISH-hello\r\n")
time.sleep(400)
PY
extra_pids+=($!)
if wait_for 10 b_receiving; then
  ip -n "$ns_a" link set tvxp-a down
  gone=$(date +%s)
  if wait_for 150 b_alone; then
    echo "OK: B dropped the vanished chat peer after $(( $(date +%s) - gone )) s"
  else
    echo "FAILED: B still holds the vanished chat peer after 150 s"; result=1
  fi
  ip -n "$ns_a" link set tvxp-a up
  check "station B listens again after the vanished peer" wait_for 5 b_listens
  status=$(status_of "$win_b" "$addr_b" || true)
  grep -m1 'SOCKET ERR' <<<"$status" || true
else
  echo "FAILED: the chat peer never reached B"; result=1
fi
exit $result
