#!/usr/bin/env bash
# Installs the built Debian package, starts the installed desk the way its
# desktop entry does, checks that its first window appears, and removes the
# package again.
#   scripts/package-check.sh [PACKAGE.deb]   (default: the one in build/package/)
set -euo pipefail
cd "$(dirname "$0")/.."

deb=${1:-}
if [ -z "$deb" ]; then
    deb=$(ls -t build/package/tavrix_*.deb 2>/dev/null | head -n 1 || true)
fi
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
    echo "package-check: no package found; build one with ./tavrix package" >&2
    exit 1
fi
deb=$(realpath "$deb")

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# Never remove an installation this check did not make.
if dpkg-query -W -f='${Status}' tavrix 2>/dev/null | grep -q "install ok installed"; then
    echo "package-check: tavrix is already installed here; remove it first (apt-get purge tavrix)" >&2
    exit 1
fi

failed=0
fail() {
    echo "package-check: FAIL: $*" >&2
    failed=1
}
remove() {
    echo "== removing the package =="
    DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq tavrix >/dev/null
    if [ -e /usr/bin/tavrixdesk ] || [ -e /usr/share/applications/tavrixdesk.desktop ]; then
        fail "files are left after removing the package"
    fi
}

echo "== installing $deb =="
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
trap remove EXIT

for program in tavrixdesk tavrixportal; do
    [ -x "/usr/bin/$program" ] || fail "/usr/bin/$program is not installed"
    [ -f "/usr/share/applications/$program.desktop" ] || fail "no desktop entry for $program"
done
getcap /usr/bin/tavrixportal | grep -q cap_net_bind_service || fail "the portal may not listen on port 23"

# Start it exactly as the desktop entry says, in a virtual display, and wait
# for a visible window of that program's class.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/tavrixdesk.desktop)
wm_class=$(sed -n 's/^StartupWMClass=//p' /usr/share/applications/tavrixdesk.desktop)
echo "== starting '$exec_line' =="
scratch=$(mktemp -d)
cat >"$scratch/start.sh" <<EOF
cd "$scratch"
$exec_line >"$scratch/desk.log" 2>&1 &
desk=\$!
for _ in \$(seq 1 100); do
    window=\$(xdotool search --onlyvisible --classname "^$wm_class\\\$" 2>/dev/null | head -n 1)
    if [ -n "\$window" ]; then
        echo "first window: \$(xdotool getwindowname "\$window") (WM_CLASS instance $wm_class)"
        kill \$desk
        exit 0
    fi
    kill -0 \$desk 2>/dev/null || { echo "the desk ended before showing a window"; cat "$scratch/desk.log"; exit 1; }
    sleep 0.2
done
echo "no window of class $wm_class within 20 seconds"
cat "$scratch/desk.log"
kill \$desk
exit 1
EOF
timeout 60 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$scratch/start.sh" || fail "the installed desk showed no window"
rm -rf "$scratch"

trap - EXIT
remove
if [ "$failed" = 0 ]; then
    echo "package-check: the package installs, the desk starts from its desktop entry, the portal may use port 23"
fi
exit "$failed"
