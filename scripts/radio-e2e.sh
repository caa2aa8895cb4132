#!/bin/bash
# Two portals over two real sound-card modem programs (direwolf, 1200 baud
# AFSK) with no sound card: each modem's transmit audio goes to a PulseAudio
# null sink whose monitor is the other modem's receive input. The driver
# (tests/portal/tst_portal_radio_e2e) runs two portal windows, each on its
# own modem's AGW port: a mail file must arrive byte-identical, a chat line
# must go both ways, and ending one modem program in the middle of a transfer
# must leave no file under a final name.
#
#   scripts/radio-e2e.sh [--short] [--keep] [--shot FILE.png] [driver]
#
# --short   the form CI runs (a ~900-byte mail); without it a ~3000-byte one
# --keep    keep the work folder (modem logs, audio config) for a look
# --shot    show both windows on a virtual display (xvfb-run) and take a
#           screenshot (import) after the transfer and the chat
# driver    default build/tests/portal/tst_portal_radio_e2e
#
# Everything runs in a network namespace of its own with only its loopback
# up, so the modems' AGW ports (bound to every address) and anything they
# might send stay inside it. Needs root or unprivileged user namespaces.
# Exits 77 (skipped) when direwolf, pulseaudio or namespaces are missing.
set -euo pipefail

short=0 keep=0 shot=
while [ $# -gt 0 ]; do
  case $1 in
    --short) short=1; shift ;;
    --keep) keep=1; shift ;;
    --shot) shot=$(realpath -m "$2"); shift 2 ;;
    *) break ;;
  esac
done
driver=$(realpath "${1:-build/tests/portal/tst_portal_radio_e2e}")
[ -x "$driver" ] || { echo "radio-e2e: no driver at $driver"; exit 2; }
for tool in direwolf pulseaudio unshare ip; do
  command -v "$tool" >/dev/null || { echo "radio-e2e: $tool is not installed; skipped"; exit 77; }
done

if [ -z "${RADIO_E2E_INSIDE:-}" ]; then
  flags=(--net)
  [ "$(id -u)" = 0 ] || flags=(--net --map-root-user)
  unshare "${flags[@]}" true 2>/dev/null || { echo "radio-e2e: cannot make a network namespace; skipped"; exit 77; }
  args=()
  [ $short = 1 ] && args+=(--short)
  [ $keep = 1 ] && args+=(--keep)
  [ -n "$shot" ] && args+=(--shot "$shot")
  exec unshare "${flags[@]}" env RADIO_E2E_INSIDE=1 "$0" "${args[@]}" "$driver"
fi

ip link set lo up
work=$(mktemp -d /tmp/radio-e2e.XXXXXX)
pids=()
cleanup() {
  local rc=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ $rc != 0 ]; then
    for s in a b; do
      echo "--- modem $s (last lines)"; tail -n 15 "$work/$s/direwolf.log" 2>/dev/null || true
    done
    echo "--- sound server (last lines)"; tail -n 10 "$work/pulse.log" 2>/dev/null || true
  fi
  if [ $keep = 1 ]; then echo "radio-e2e: work folder kept: $work"; else rm -rf "$work"; fi
  exit $rc
}
trap cleanup EXIT

# One sound server with two mono null sinks at 48 kHz, reached through its own socket only.
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
cat > "$work/pulse.pa" <<PA
load-module module-native-protocol-unix
load-module module-null-sink sink_name=air_a rate=48000 channels=1
load-module module-null-sink sink_name=air_b rate=48000 channels=1
PA
pulseaudio -n -F "$work/pulse.pa" --exit-idle-time=-1 --daemonize=no --log-target=stderr \
  >"$work/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/pulse/native" ] || { echo "radio-e2e: the sound server did not start"; exit 1; }
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native

# Station a transmits on air_a and hears air_b; station b the other way round.
start_modem() { # name call agwport tx-sink rx-sink
  local dir=$work/$1
  mkdir -p "$dir"
  cat > "$dir/.asoundrc" <<ASOUND
pcm.tx { type pulse; device $4 }
pcm.rx { type pulse; device $5.monitor }
ASOUND
  # No PTT line (nothing is keyed), no KISS port, no IGate, no beacons: only the AGW port.
  cat > "$dir/direwolf.conf" <<CONF
ADEVICE rx tx
ARATE 48000
ACHANNELS 1
CHANNEL 0
MYCALL $2
MODEM 1200
AGWPORT $3
KISSPORT 0
CONF
  (cd "$dir" && HOME=$dir exec direwolf -t 0 -c "$dir/direwolf.conf" >"$dir/direwolf.log" 2>&1) &
  pids+=($!)
  eval "modem_$1=$!"
}
start_modem a N0AAA-15 8000 air_a air_b
start_modem b N0BBB-15 8010 air_b air_a
for s in a b; do
  for _ in $(seq 100); do grep -q "Ready to accept AGW" "$work/$s/direwolf.log" 2>/dev/null && break; sleep 0.1; done
  grep -q "Ready to accept AGW" "$work/$s/direwolf.log" || { echo "radio-e2e: modem $s did not start"; exit 1; }
done

bytes=3000
[ $short = 1 ] && bytes=900
mkdir -p "$work/home"
started=$(date +%s)
export HOME=$work/home RADIO_E2E_AGW_A=8000 RADIO_E2E_AGW_B=8010 RADIO_E2E_KILL_B=$modem_b RADIO_E2E_BYTES=$bytes
set +e
if [ -n "$shot" ]; then
  # The windows stay a few seconds after the chat: the screenshot is taken then.
  RADIO_E2E_HOLD_MS=6000 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 2600x1000x24" bash -c '
    "$1" 2>&1 | while IFS= read -r line; do
      printf "%s\n" "$line"
      case $line in *"holding the windows"*) sleep 2; import -window root "$2" && echo "radio-e2e: screenshot $2" ;; esac
    done
    exit "${PIPESTATUS[0]}"' radio-e2e "$driver" "$shot"
  rc=$?
else
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$driver" 2>&1 | grep --line-buffered -v "propagateSizeHints"
  rc=${PIPESTATUS[0]}
fi
set -e
echo "radio-e2e: finished in $(( $(date +%s) - started )) s"
exit "$rc"
