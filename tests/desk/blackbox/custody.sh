#!/bin/bash
# The desk as an operator drives it, under a virtual display: messages that
# arrive whole, cut short or as garbage are read through the received list,
# Read Message is double-clicked, windows get close requests, and at the end
# every message is read and saved or still in the receive folder, and the
# program is still running.
#
#   custody.sh TAVRIXDESK SENDCLOSE
#
# Exits 77 (skipped) when xvfb-run, xdotool or xprop is missing.

set -u

skip=77
if [[ "${1:-}" != --inner ]]; then
    for tool in xvfb-run xdotool xprop; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (apt-get install xvfb xdotool x11-utils)"
            exit $skip
        fi
    done
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inner "$@"
fi
shift
desk=$(realpath "$1")
sendclose=$(realpath "$2")

work=$(mktemp -d)
deskpid=
cleanup() {
    if [[ -n "$deskpid" ]] && kill -0 "$deskpid" 2>/dev/null; then
        kill "$deskpid"
        wait "$deskpid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
    shot "fail-$failures"
}
# With SHOTS set to a folder, screenshots of the steps land there (SHOOT
# names the grabber, `import -window root` by default).
shot() {
    [[ -n "${SHOTS:-}" ]] || return 0
    if [[ -n "${SHOOT:-}" ]]; then
        QT_QPA_PLATFORM=xcb $SHOOT "$SHOTS/$1.png" 2>/dev/null
    else
        import -window root "$SHOTS/$1.png" 2>/dev/null
    fi
}
note() { echo "-- $*"; }

# Polls a command for up to $1 seconds.
wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    while ((tries-- > 0)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# How long a step may take to show: generous, since the program may run
# under the sanitizers on a loaded machine. Passing runs never wait it out.
settle=30

alive() { kill -0 "$deskpid" 2>/dev/null; }

# Stops the run when the program has ended: nothing after it can be checked.
check_alive() {
    alive && return 0
    fail "$1"
    echo "--- program output"
    cat "$work/desk.log"
    echo "$failures check(s) failed"
    exit 1
}

# The window that has the keyboard, and its title.
focused() { xdotool getwindowfocus 2>/dev/null; }
title_of() { xdotool getwindowname "$1" 2>/dev/null; }
focused_title() { title_of "$(focused)"; }

# Message boxes are dialog windows; screens are plain top-level windows.
is_box() { xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG; }
screen_focused() {
    local window
    window=$(focused)
    [[ -n "$window" && -n "$(title_of "$window")" ]] && ! is_box "$window"
}
box_focused() {
    local window
    window=$(focused)
    [[ -n "$window" ]] && is_box "$window"
}

# True when a screen other than the given window is in front.
front_moved_from() { screen_focused && [[ "$(focused)" != "$1" ]]; }

visible_screens() {
    local window
    for window in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        is_box "$window" || echo "$window"
    done | sort
}
screen_count() { visible_screens | wc -l; }

# Presses keys in the focused window, then lets the program react.
keys() {
    xdotool key --delay 60 "$@"
    sleep 0.6
}

# Closes every message box in front, keeping their texts.
dismiss_boxes() {
    local count=0
    while wait_for 2 box_focused; do
        note "box: $(focused_title)" >&2
        xdotool key Return
        sleep 0.5
        count=$((count + 1))
        ((count > 5)) && break
    done
    echo "$count"
}

# A close request, as a window manager sends it.
close_window() {
    "$sendclose" "$1" || fail "the close request to window $1 was not sent"
    sleep 0.8
}

# The main menu: the largest screen up.
find_menu() {
    local best=0 window
    for window in $(visible_screens); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        if ((WIDTH * HEIGHT > best)); then
            best=$((WIDTH * HEIGHT))
            menu=$window
        fi
    done
}

# Brings the received list to the front through "&Read Inbox" and moves
# its pick to that row (0 is the first).
open_list_at() {
    find_menu
    xdotool windowfocus --sync "$menu" 2>/dev/null
    keys alt+r
    # The menu itself is a screen in front: wait until another one is.
    wait_for $settle front_moved_from "$menu" || fail "Read Inbox did not bring the received list forward"
    list=$(focused)
    local moves=(Home) i
    for ((i = 0; i < $1; i++)); do moves+=(Down); done
    keys "${moves[@]}"
}

# Sends a close request to the screen in front when it is neither the main
# menu nor the received list (a reader or the attachment receiver); its
# exit leads back to the main menu.
close_front_screen() {
    wait_for 3 screen_focused || return 0
    local front
    front=$(focused)
    find_menu
    [[ "$front" == "$menu" || "$front" == "${list:-}" ]] && return 0
    close_window "$front"
    dismiss_boxes >/dev/null
    visible_screens | grep -qx "$front" &&
        fail "the screen $front stayed up after its close request"
}

# One mail record: the four fields upper-cased, each as decimal codes.
codes() { printf '%s' "$1" | tr '[:lower:]' '[:upper:]' | od -An -tu1 -v | tr -s ' \n' '  ' | sed 's/^ *//;s/ *$//'; }
mail_record() { printf '%s,%s,%s,%s\r\n' "$(codes "$1")" "$(codes "$2")" "$(codes "$3")" "$(codes "$4")"; }

mkdir -p "$work/bin" "$work/cwd" "$work/receive" "$work/send" "$work/save" "$work/drop" "$work/kept"
cp "$desk" "$work/bin/tavrixdesk"
# Folder settings lie beside the program folder, joined without a separator.
printf '%s\r\n' "$work/receive" >"$work/binreceive.dat"
printf '%s\r\n' "$work/send" >"$work/binsend.dat"
printf '%s\r\n' "$work/save" >"$work/binsave.dat"
# Sound off (no speech engine needed), auto-save on (every mail read is archived).
printf '0\r\n' >"$work/bin/soundsettings.dat"
printf 'ON\r\n' >"$work/bin/autosave.dat"

# The messages, made aside and moved in whole once the desk watches.
mail_record "TO: BASE" "SUBJECT: FIRST" "FIRST MESSAGE BODY" "FROM: FIELD" >"$work/drop/MAIL - 000001.txt"
mail_record "TO: BASE" "SUBJECT: SECOND" "SECOND MESSAGE BODY" "FROM: FIELD" >"$work/drop/MAIL - 000002.txt"
head -c 3000 /dev/urandom >"$work/drop/payload.bin"
{
    printf 'see the log,LOG,TO: BASE,FROM: FIELD,payload.bin,'
    base64 -w 76 "$work/drop/payload.bin"
} | base64 -w 76 >"$work/drop/whole"
size=$(stat -c %s "$work/drop/whole")
head -c $((size / 2 / 4 * 4 + 2)) "$work/drop/whole" >"$work/drop/File - 00-00-01--01-01-26.txt"
rm "$work/drop/whole" "$work/drop/payload.bin"
# Random bytes that by chance spell no type word.
while :; do
    head -c 1048576 /dev/urandom >"$work/drop/File - x.txt"
    LC_ALL=C grep -aqi 'mail' "$work/drop/File - x.txt" || break
done

cp "$work/drop/File - "* "$work/kept/"

cd "$work/cwd" || exit 1
QT_QPA_PLATFORM=xcb "$work/bin/tavrixdesk" >"$work/desk.log" 2>&1 &
deskpid=$!

wait_for $settle screen_focused || { fail "the entry form never came up"; cat "$work/desk.log"; exit 1; }
entry=$(focused)
note "entry form up: $(title_of "$entry")"

# The entry form has no way out but QUIT: a close request does nothing.
close_window "$entry"
check_alive "a close request on the entry form ended the program"
[[ "$(screen_count)" == 1 ]] || fail "the entry form went away on a close request"

note "ENTER, then the self-test"
xdotool windowfocus --sync "$entry" 2>/dev/null
keys alt+e
# Keys pressed before the menu is in front would reach the entry form.
wait_for $settle front_moved_from "$entry" || fail "ENTER did not bring the main menu forward"
first_menu=$(focused)
keys alt+t
shot selftest
wait_for $settle front_moved_from "$first_menu" || fail "the received list did not come up after the self-test"
list=$(focused)
test_mail=$(ls "$work/receive")
[[ "$test_mail" == MAIL\ -\ *.txt ]] || fail "the self-test wrote no test mail: '$test_mail'"

note "close request on the received list"
close_window "$list"
check_alive "a close request on the received list ended the program"
# Until the request is handled the list itself is the screen in front.
wait_for $settle front_moved_from "$list" || fail "the received list stayed after its close request"
menu=$(focused)

note "messages arrive"
mv "$work/drop/"* "$work/receive/"
sleep 2.5
shot arrival

note "Read Inbox, then read the cut attachment and the garbage"
for name in "File - 00-00-01--01-01-26.txt" "File - x.txt"; do
    open_list_at 0
    [[ "$name" == "File - x.txt" ]] && keys Down
    keys Return
    wait_for $settle box_focused
    boxes=$(dismiss_boxes | tail -1)
    ((boxes >= 1)) || fail "reading '$name' said nothing"
    cmp -s "$work/kept/$name" "$work/receive/$name" || fail "'$name' did not stay whole in the receive folder"
    check_alive "the program ended while reading '$name'"
    close_front_screen
done

note "read the first mail, close its reader by a close request"
open_list_at 2
keys Return
wait_for $settle front_moved_from "$list" || fail "the reader did not come up"
shot reader
wait_for $settle test ! -f "$work/receive/MAIL - 000001.txt" || fail "the first mail is still in the receive folder after reading"
close_front_screen
check_alive "a close request on the reader ended the program"
wait_for $settle grep -rqs 'FIRST MESSAGE BODY' "$work/save" || fail "the first mail was not archived on leaving the reader"

note "double-click Read Message on the second mail"
open_list_at 2
sleep 0.6
eval "$(xdotool getwindowgeometry --shell "$list")"
# Read Message is the first of the bottom row, inside the screen's margins.
xdotool mousemove "$((X + 60))" "$((Y + HEIGHT - 42))"
sleep 0.3
# Well inside the double-click interval, and long enough for the reader to
# be up under the pointer when the second click comes.
xdotool click --repeat 2 --delay 250 1
wait_for $settle test ! -f "$work/receive/MAIL - 000002.txt" || fail "the double-click did not read the second mail"
# The second click is handled after the reader is up, however slow the program.
wait_for $settle front_moved_from "$list" || box_focused || fail "the second reader did not come forward"
sleep 1.5
shot doubleclick
if (($(dismiss_boxes | tail -1) > 0)); then
    note "the reader was not up in time: the second click reached the list again"
fi
[[ -z "$(ls "$work/send")" ]] || fail "a reply was posted by the double-click: $(ls "$work/send")"
close_front_screen
check_alive "a close request on the second reader ended the program"
wait_for $settle grep -rqs 'SECOND MESSAGE BODY' "$work/save" || fail "the second mail was not archived"

note "the composer keeps its title bar; its close request goes back to the menu"
find_menu
xdotool windowfocus --sync "$menu" 2>/dev/null
keys alt+p
wait_for $settle front_moved_from "$menu" || fail "the composer chooser did not come up"
chooser=$(focused)
close_window "$chooser"
check_alive "a close request on the composer chooser ended the program"
xdotool windowfocus --sync "$chooser" 2>/dev/null
keys alt+s
wait_for $settle front_moved_from "$chooser" || fail "the composer did not come up"
composer=$(focused)
note "composer: $(title_of "$composer")"
xdotool type --delay 20 "NOT LOST"
close_window "$composer"
check_alive "a close request on the composer ended the program"

note "close requests on whatever is still up"
for window in $(visible_screens); do
    close_window "$window"
done
dismiss_boxes >/dev/null
check_alive "close requests on the remaining screens ended the program"
shot end

note "windows up: $(for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    printf '[%s %sx%s] ' "$(title_of "$w")" "$WIDTH" "$HEIGHT"
done)"

note "every message is accounted for"
[[ -f "$work/receive/$test_mail" ]] || fail "the unread test mail is not in the receive folder"
for name in "File - 00-00-01--01-01-26.txt" "File - x.txt"; do
    cmp -s "$work/kept/$name" "$work/receive/$name" || fail "'$name' is neither read nor whole in the receive folder"
done
for name in "MAIL - 000001.txt" "MAIL - 000002.txt"; do
    [[ ! -f "$work/receive/$name" ]] || fail "$name was never read"
done
grep -rqs 'FIRST MESSAGE BODY' "$work/save" || fail "the first mail is not saved"
grep -rqs 'SECOND MESSAGE BODY' "$work/save" || fail "the second mail is not saved"
check_alive "the program is not running at the end"

note "QUIT ends the program"
for window in $(visible_screens); do
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key alt+q
    sleep 0.3
done
if wait_for $settle bash -c "! kill -0 $deskpid 2>/dev/null"; then
    wait "$deskpid"
    status=$?
    deskpid=
    ((status == 0)) || fail "the program ended with status $status"
else
    fail "QUIT did not end the program"
fi

if ((failures > 0)); then
    echo "--- program output"
    cat "$work/desk.log"
    echo "$failures check(s) failed"
    exit 1
fi
echo "every message is read and saved or still in the receive folder; the program ran until QUIT"
