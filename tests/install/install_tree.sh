#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks it with the freedesktop.org
# tools: the desktop entry is valid and runs the installed program, the MIME package
# gives .mdi files (by name and by content) their type, the entry is that type's
# default application, and the man pages render without a warning.
# Usage: install_tree.sh BUILD_DIR SAMPLE.mdi
set -euo pipefail
build=$1
sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "install_tree: $*" >&2
    exit 1
}

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log"
    fail "cmake --install failed"
}
share=$prefix/share
for file in bin/foliolens bin/foliolens-convert share/man/man1/foliolens.1 \
    share/man/man1/foliolens-convert.1 share/applications/foliolens.desktop \
    share/mime/packages/foliolens.xml share/icons/hicolor/scalable/apps/foliolens.svg \
    share/icons/hicolor/48x48/apps/foliolens.png; do
    [[ -s $prefix/$file ]] || fail "$file is not installed"
done

entry=$share/applications/foliolens.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
grep -qx "Exec=$prefix/bin/foliolens %f" "$entry" || fail "Exec does not run $prefix/bin/foliolens: $(grep ^Exec= "$entry")"
grep -qx "MimeType=image/vnd.ms-modi;" "$entry" || fail "the entry does not open image/vnd.ms-modi"

update-mime-database "$share/mime" >/dev/null
update-desktop-database "$share/applications"
export XDG_DATA_DIRS=$share XDG_DATA_HOME=$work/home/share XDG_CONFIG_HOME=$work/home/config
export XDG_CONFIG_DIRS=$work/etc HOME=$work/home
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID

cp "$sample" "$work/by-name.mdi"
cp "$sample" "$work/by-content"
for file in "$work/by-name.mdi" "$work/by-content"; do
    type=$(gio info -a standard::content-type "$file" | sed -n 's/^ *standard::content-type: //p')
    [[ $type == image/vnd.ms-modi ]] || fail "$(basename "$file") is typed '$type'"
done
default=$(xdg-mime query default image/vnd.ms-modi)
[[ $default == foliolens.desktop ]] || fail "the default application is '$default'"

for page in foliolens foliolens-convert; do
    warnings=$(MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "man $page: $warnings"
done
echo "install_tree: the installed tree is whole and typed"
