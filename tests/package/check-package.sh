#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a scratch
# root and checks that programs, desktop entry and icons are where desktops
# look, and that it depends on the libraries the programs link.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR HAVE_GAME(0|1)
set -euo pipefail
build=$1 source=$2 have_game=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Uncompressed: only the contents matter here, and test builds are large.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
    -D CPACK_DEBIAN_COMPRESSION_TYPE=none >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; exit 1; }
deb=$(echo "$scratch"/out/quadrell_*.deb)
dpkg-deb -x "$deb" "$scratch/root"

files=(bin/quadrell-server bin/quadrell-master bin/quadrell-bot libexec/quadrell/quadrell-displayguard
       share/applications/quadrell.desktop)
libs=(libqt6core6 libqt6network6 libxrandr2)
if [ "$have_game" = 1 ]; then
    files+=(bin/quadrell)
    libs+=(libqt6gui6 libqt6openglwidgets6 libqt6multimedia6)
fi
# The icon sizes count once the icons are in the source tree.
if [ -d "$source/resources/icons/hicolor" ]; then
    for n in 16 24 32 48 64 128 256; do files+=("share/icons/hicolor/${n}x${n}/apps/quadrell.png"); done
fi

failed=0
for f in "${files[@]}"; do
    [ -f "$scratch/root/usr/$f" ] || { echo "missing: /usr/$f"; failed=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in "${libs[@]}"; do
    [[ "$depends" == *"$lib"* ]] || { echo "Depends lacks $lib: $depends"; failed=1; }
done
desktop-file-validate "$scratch/root/usr/share/applications/quadrell.desktop" || failed=1
exit "$failed"
