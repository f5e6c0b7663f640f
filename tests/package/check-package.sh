#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a scratch
# root and checks that the programs, the desktop entry and the icons are where
# desktops look, and that the package depends on the Qt libraries.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR HAVE_GAME(0|1)
set -euo pipefail
build=$1 source=$2 have_game=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Uncompressed: only the contents matter here, and test builds are large.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
        -D CPACK_DEBIAN_COMPRESSION_TYPE=none >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    exit 1
fi
deb=$(echo "$scratch"/out/quadrell_*.deb)
dpkg-deb -x "$deb" "$scratch/root"

expected=(usr/bin/quadrell-server usr/bin/quadrell-master usr/bin/quadrell-bot
          usr/libexec/quadrell/quadrell-displayguard usr/share/applications/quadrell.desktop)
if [ "$have_game" = 1 ]; then
    expected+=(usr/bin/quadrell)
else
    echo "note: usr/bin/quadrell not checked, the build has no such program yet"
fi
if [ -d "$source/resources/icons/hicolor" ]; then
    for n in 16 24 32 48 64 128 256; do
        expected+=("usr/share/icons/hicolor/${n}x${n}/apps/quadrell.png")
    done
else
    echo "note: icons not checked, the source tree has none yet"
fi

failed=0
for f in "${expected[@]}"; do
    if [ ! -f "$scratch/root/$f" ]; then
        echo "missing: /$f"
        failed=1
    fi
done
for f in "$scratch"/root/usr/bin/* "$scratch"/root/usr/libexec/quadrell/*; do
    if [ ! -x "$f" ]; then
        echo "not executable: ${f#"$scratch/root"}"
        failed=1
    fi
done
if ! desktop-file-validate "$scratch/root/usr/share/applications/quadrell.desktop"; then
    failed=1
fi
libs=(libqt6core6 libqt6network6 libxrandr2)
if [ "$have_game" = 1 ]; then
    libs+=(libqt6gui6 libqt6openglwidgets6 libqt6multimedia6)
fi
depends=$(dpkg-deb -f "$deb" Depends)
for lib in "${libs[@]}"; do
    if [[ "$depends" != *"$lib"* ]]; then
        echo "Depends lacks $lib: $depends"
        failed=1
    fi
done
[ "$failed" = 0 ] && echo "package: ${#expected[@]} files checked in $(basename "$deb")"
exit "$failed"
