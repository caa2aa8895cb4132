#!/bin/bash
# Soak of both programs under a virtual display.
#
#   scripts/soak.sh [COUNT [BUILD_DIR]]      (COUNT 1000 by default)
#   scripts/soak.sh --short BUILD_DIR        (the form the test command runs)
#   scripts/soak.sh --desk-only|--portal-only [--short] ...   (one program only)
#
# Portal: two real tavrixportal programs exchange COUNT transfers of random
# sizes (0 to 5 MB) both ways, with chats, peers that reset mid-transfer,
# peers that stall and garbage peers in between. They run in a user and
# network namespace made here (no root needed), each with its own home.
# Desk: tavrixdesk with its receive-folder monitor running while files come
# and go in a crowded receive folder (10,000 present; COUNT * 10 at most).
# Both print their figures. SOAK_SEED fixes the random choices, SOAK_KEEP=1
# keeps the work folder, SOAK_SHOTS=FOLDER takes a screenshot at each failure.
# Exit 0 when every check holds, 1 when one fails, 77 (skipped) when a needed
# tool or user namespaces are missing.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
args=("$@")
parts="portal desk"
case "${1:-}" in
    --desk-only) parts=desk; shift ;;
    --portal-only) parts=portal; shift ;;
esac
short=0
if [[ "${1:-}" == --short ]]; then
    short=1
    shift
    count=20
    build=${1:-build}
else
    count=${1:-1000}
    build=${2:-build}
fi
[[ "$count" =~ ^[0-9]+$ && "$count" -gt 0 ]] || { echo "usage: $0 [--desk-only|--portal-only] [COUNT [BUILD_DIR] | --short BUILD_DIR]" >&2; exit 2; }
build=$(cd "$build" 2>/dev/null && pwd) || { echo "no build folder $build" >&2; exit 2; }
portal="$build/portal/tavrixportal"
desk="$build/desk/tavrixdesk"
for part in $parts; do
    program=${!part}
    [[ -x "$program" ]] || { echo "not built: $program" >&2; exit 2; }
done

skip=77
for tool in xvfb-run xdotool python3 unshare nsenter ip; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit $skip
    fi
done
if [[ " $parts " == *" portal "* ]] && ! unshare -rn true 2>/dev/null; then
    echo "SKIP: user and network namespaces cannot be made here (unshare -rn fails)"
    exit $skip
fi

if [[ -z "${SOAK_DISPLAY_UP:-}" ]]; then
    # A window manager is not needed: the drivers give the focus themselves.
    SOAK_DISPLAY_UP=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "${args[@]}"
fi

# The drivers share a module: no compiled copy of it is left in the source tree.
export PYTHONDONTWRITEBYTECODE=1
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrix-soak.XXXXXX")
cleanup() { [[ -n "${SOAK_KEEP:-}" ]] && echo "work folder kept: $work" || rm -rf "$work"; }
trap cleanup EXIT
seed=${SOAK_SEED:-$(date +%s)}
result=0

if ((short)); then
    desk_present=400 desk_rounds=4
else
    desk_present=$((count * 10 < 10000 ? count * 10 : 10000)) desk_rounds=$((count / 10 > 20 ? count / 10 : 20))
fi

if [[ " $parts " == *" portal "* ]]; then
    echo "== portal soak: $count transfers =="
    mkdir -p "$work/portal"
    # The namespace's root is the caller mapped: the portals may bind their fixed port in it.
    unshare -rn --fork python3 "$here/tests/soak/portal_soak.py" "$portal" "$count" "$work/portal" "$seed" || result=1
fi

if [[ " $parts " == *" desk "* ]]; then
    echo "== desk soak: $desk_present files present, $desk_rounds rounds =="
    mkdir -p "$work/desk"
    python3 "$here/tests/soak/desk_soak.py" "$desk" "$desk_present" "$desk_rounds" "$work/desk" "$seed" || result=1
fi

exit $result
