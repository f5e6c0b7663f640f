#!/usr/bin/env bash
# Builds the Debian packages from a finished build and checks them as a
# distribution would: each unpacked alone into a scratch root, files where
# desktops, man, bash and systemd look, the server package free of GUI, GL,
# audio and X libraries, desktop entry, AppStream data and units validated,
# bash completion working, and lintian without errors.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR HAVE_GAME(0|1)
set -euo pipefail
build=$1 source=$2 have_game=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Uncompressed: only the contents matter here, and test builds are large.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
    -D CPACK_DEBIAN_COMPRESSION_TYPE=none >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; exit 1; }
game_deb=$(echo "$scratch"/out/quadrell_*.deb)
server_deb=$(echo "$scratch"/out/quadrell-server_*.deb)
dpkg-deb -x "$game_deb" "$scratch/game"
dpkg-deb -x "$server_deb" "$scratch/server"

game_files=(usr/libexec/quadrell/quadrell-displayguard usr/share/applications/quadrell.desktop
            usr/share/metainfo/org.quadrell.Quadrell.metainfo.xml
            usr/share/bash-completion/completions/quadrell usr/share/doc/quadrell/copyright)
server_files=(usr/share/doc/quadrell-server/copyright etc/quadrell/masterserver.ini
              usr/lib/systemd/system/quadrell-.service.d/sandbox.conf)
services=(quadrell-server quadrell-master quadrell-stats)
for p in "${services[@]}" quadrell-bot; do
    server_files+=("usr/bin/$p" "usr/share/bash-completion/completions/$p")
done
for p in "${services[@]}"; do
    server_files+=("usr/share/man/man8/$p.8.gz" "usr/lib/systemd/system/$p.service"
                   "etc/quadrell/$p.conf")
done
server_files+=(usr/share/man/man6/quadrell-bot.6.gz)
if [ "$have_game" = 1 ]; then
    game_files+=(usr/games/quadrell usr/share/man/man6/quadrell.6.gz)
fi
# The icon sizes count once the icons are in the source tree.
if [ -d "$source/resources/icons/hicolor" ]; then
    for n in 16 24 32 48 64 128 256; do game_files+=("usr/share/icons/hicolor/${n}x${n}/apps/quadrell.png"); done
fi
for f in "${game_files[@]}"; do [ -f "$scratch/game/$f" ] || fail "quadrell lacks /$f"; done
for f in "${server_files[@]}"; do [ -f "$scratch/server/$f" ] || fail "quadrell-server lacks /$f"; done

# Dependencies: what the programs link, and for the servers nothing of a desktop.
game_depends=$(dpkg-deb -f "$game_deb" Depends)
server_depends=$(dpkg-deb -f "$server_deb" Depends)
game_libs=(libqt6core6 libxrandr2)
[ "$have_game" = 1 ] && game_libs+=(libqt6gui6 libqt6openglwidgets6 libqt6multimedia6 libsdl2-2.0-0)
for lib in "${game_libs[@]}"; do
    [[ "$game_depends" == *"$lib"* ]] || fail "quadrell Depends lacks $lib: $game_depends"
done
for lib in libqt6core6 libqt6network6 libqt6sql6-sqlite; do
    [[ "$server_depends" == *"$lib"* ]] || fail "quadrell-server Depends lacks $lib: $server_depends"
done
desktop_libs='Qt6Gui|Qt6Widgets|Qt6OpenGL|Qt6Multimedia|libX|libxcb|libGL|libEGL|pulse|asound|SDL2'
[[ "$server_depends" =~ gui|opengl|multimedia|libx11|libxrandr|libgl ]] &&
    fail "quadrell-server depends on a desktop library: $server_depends"
for p in "${services[@]}" quadrell-bot; do
    needed=$(readelf -d "$scratch/server/usr/bin/$p" | grep NEEDED || true)
    grep -E "$desktop_libs" <<<"$needed" && fail "$p links a desktop library"
done
[[ "$(dpkg-deb -f "$game_deb" Suggests)" == quadrell-server ]] || fail "quadrell should suggest quadrell-server"

desktop-file-validate "$scratch/game/usr/share/applications/quadrell.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic \
    "$scratch/game/usr/share/metainfo/org.quadrell.Quadrell.metainfo.xml" >"$scratch/appstream.log" ||
    { cat "$scratch/appstream.log"; fail "AppStream data"; }

# The units as systemd reads them from the unpacked root (with the host's
# targets they refer to); any complaint fails.
mkdir -p "$scratch/server/etc/systemd/system"
cp -L /usr/lib/systemd/system/*.target "$scratch/server/usr/lib/systemd/system/"
units=("${services[@]/%/.service}")
if ! out=$(systemd-analyze verify --man=no --root="$scratch/server" "${units[@]}" 2>&1) || [ -n "$out" ]; then
    echo "$out"; fail "systemd-analyze verify"
fi
for unit in "${units[@]}"; do
    score=$(systemd-analyze security --offline=true --root="$scratch/server" "$unit" 2>&1 |
        sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    echo "$unit exposure $score"
    awk -v s="${score:-10}" 'BEGIN { exit !(s <= 2.0) }' || fail "$unit is exposed: $score"
done

# Completion from the installed file, options read from the program's --help.
completion_test() {  # program, word being typed -> the offered words
    PATH="$scratch/server/usr/bin:$build/bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        COMP_WORDS=("$2" "$3"); COMP_CWORD=1; COMP_LINE="$2 $3"; COMP_POINT=${#COMP_LINE}
        _quadrell "$2" "$3" "$2"
        echo "${COMPREPLY[*]}"' _ "$scratch/server/usr/share/bash-completion/completions/$1" "$1" "$2"
}
[ "$(completion_test quadrell-stats --r)" = "--rate-limit" ] || fail "completion: $(completion_test quadrell-stats --r)"
[ "$(completion_test quadrell-server --pa)" = "--password" ] || fail "completion: $(completion_test quadrell-server --pa)"

# Lintian's errors fail; its warnings are listed for the reader. These
# packages are uncompressed on purpose (make package compresses).
for deb in "$game_deb" "$server_deb"; do
    lintian --no-tag-display-limit --suppress-tags uses-no-compression-for-data-tarball "$deb" \
        >"$scratch/lintian.log" 2>&1 || true
    grep -E '^[EW]: ' "$scratch/lintian.log" || true
    grep -q '^E: ' "$scratch/lintian.log" && fail "lintian errors in $(basename "$deb")"
done
exit "$failed"
