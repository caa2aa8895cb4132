#!/bin/sh
# Installs a build into a scratch folder and checks what a desktop reads
# there: the entries, their programs and icons, and the AppStream metadata.
#   validate.sh CMAKE BUILD_DIR SCRATCH_DIR
set -eu
cmake=$1
build=$2
dest=$3

for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (Debian packages desktop-file-utils and appstream)"
        exit 77
    fi
done

rm -rf "$dest"
"$cmake" --install "$build" --prefix "$dest" >/dev/null
share=$dest/share
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
value() { # value KEY FILE: the key's value in a desktop entry
    sed -n "s/^$1=//p" "$2"
}

for program in tavrixdesk tavrixportal; do
    entry=$share/applications/$program.desktop
    if [ ! -f "$entry" ]; then
        fail "no desktop entry $entry"
        continue
    fi
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
    exec=$(value Exec "$entry" | cut -d' ' -f1)
    [ -x "$dest/bin/$exec" ] || fail "$entry starts '$exec', which is not an installed program"
    # Qt names a window's WM_CLASS instance after the program file.
    [ "$(value StartupWMClass "$entry")" = "$exec" ] || fail "$entry: StartupWMClass is not '$exec'"
    [ "$(value Categories "$entry")" = "Network;HamRadio;" ] || fail "$entry: categories are not Network;HamRadio;"
    [ -f "$share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
    icon=$(value Icon "$entry")
    [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$entry: icon '$icon' is not installed"
done

found=0
for metainfo in "$share"/metainfo/*.metainfo.xml; do
    [ -f "$metainfo" ] || continue
    found=1
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
    for id in $(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo"); do
        [ -f "$share/applications/$id" ] || fail "$metainfo launches $id, which is not installed"
    done
done
[ "$found" = 1 ] || fail "no AppStream metainfo file installed"
appstreamcli validate-tree --no-net "$dest" || fail "appstreamcli rejects the installed tree"

[ "$failed" = 0 ] && echo "desktop integration: all checks passed"
exit "$failed"
