#!/usr/bin/env bash
# cpack builds the two Debian packages from this build: their control fields,
# maintainer scripts and file lists are what an installation relies on.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$work/cpack.log")"
version=$(sed -n 's/.*kVersionText = "\(.*\)";/\1/p' "$build/src/generated/uVersion.h")
arch=$(dpkg --print-architecture)
desktop=$work/zuvonote_${version}_${arch}.deb
server=$work/zuvonote-server_${version}_${arch}.deb
[[ -f $desktop && -f $server ]] || fail "packages: $(ls "$work")"

field() { dpkg-deb -f "$1" "$2"; }
files() { dpkg-deb -c "$1" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }'; }
has() { grep -qxF -- "$2" <<<"$1" || fail "$3 lacks: $2"; }
hasNot() { ! grep -q -- "$2" <<<"$1" || fail "$3 holds: $2"; }

# The desktop program: its dependencies come from the libraries it links.
[[ $(field "$desktop" Package) == zuvonote && $(field "$desktop" Version) == "$version" ]] || fail "zuvonote's name"
[[ $(field "$desktop" Architecture) == "$arch" && -n $(field "$desktop" Maintainer) ]] || fail "zuvonote's fields"
deps=$(field "$desktop" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libcurl4 libxml2 libavformat59; do
    has "$deps" "$lib" "zuvonote's Depends"
done
list=$(files "$desktop")
for f in ./usr/bin/zuvonote "-> ../lib/zuvonote/zuvonote" ./usr/lib/zuvonote/zuvonote ./usr/lib/zuvonote/zuvonote-audio.so \
    ./usr/lib/zuvonote/brisel.mdb \
    ./usr/lib/zuvonote/languages/Chinese.lng ./usr/lib/zuvonote/languages/English.lng \
    "./usr/lib/zuvonote/sound/Meow.mp3" ./usr/share/applications/zuvonote.desktop \
    ./usr/share/metainfo/com.zuvo.Note.metainfo.xml ./usr/share/icons/hicolor/48x48/apps/zuvonote.png \
    ./usr/share/icons/hicolor/scalable/apps/zuvonote.svg ./usr/share/man/man1/zuvonote.1.gz \
    ./usr/share/doc/zuvonote/copyright ./usr/share/doc/zuvonote/changelog.gz; do
    if [[ $f == "-> "* ]]; then
        has "$(grep -F "./usr/bin/zuvonote ->" <<<"$list" | sed 's/.* -> /-> /')" "$f" "zuvonote's link"
    else
        has "$(sed 's/ -> .*//' <<<"$list")" "$f" zuvonote
    fi
done
hasNot "$list" "zuvonote-server" zuvonote
hasNot "$list" "/usr/local" zuvonote
# No settings template: the installed program starts from its defaults and never writes beside itself.
hasNot "$list" "/usr/lib/zuvonote/config.ini" zuvonote
# Stripped: the debugging information of a RelWithDebInfo build stays out.
mkdir "$work/desktop"
dpkg-deb -x "$desktop" "$work/desktop"
for elf in zuvonote zuvonote-audio.so; do
    readelf -S "$work/desktop/usr/lib/zuvonote/$elf" >"$work/sections"
    if grep -q "\.debug_info" "$work/sections"; then
        fail "the packaged $elf is not stripped"
    fi
done

# The server: a system user, a configuration file that an upgrade keeps, a
# data folder, and a unit that the package enables and starts.
[[ $(field "$server" Package) == zuvonote-server && $(field "$server" Version) == "$version" ]] ||
    fail "the server's name"
deps=$(field "$server" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
for dep in adduser init-system-helpers libpq5 libsqlite3-0 libssl3; do
    has "$deps" "$dep" "zuvonote-server's Depends"
done
list=$(files "$server")
for f in ./usr/bin/zuvonote-server ./etc/zuvonote-server/server.ini ./var/lib/zuvonote-server/ \
    ./usr/lib/systemd/system/zuvonote-server.service ./usr/share/man/man1/zuvonote-server.1.gz \
    ./usr/share/doc/zuvonote-server/copyright ./usr/share/doc/zuvonote-server/changelog.gz \
    ./usr/share/doc/zuvonote-server/server.md; do
    has "$list" "$f" zuvonote-server
done
hasNot "$list" "/usr/lib/zuvonote/" zuvonote-server
[[ $(dpkg-deb -I "$server" conffiles) == /etc/zuvonote-server/server.ini ]] || fail "conffiles"
postinst=$(dpkg-deb -I "$server" postinst)
grep -q "adduser --system" <<<"$postinst" || fail "postinst makes no system user"
grep -q "deb-systemd-helper enable zuvonote-server.service" <<<"$postinst" || fail "postinst enables no unit"
for script in postinst prerm postrm; do
    dpkg-deb -I "$server" "$script" >"$work/$script"
    sh -n "$work/$script" || fail "$script is not valid sh"
done
mkdir "$work/server"
dpkg-deb -x "$server" "$work/server"
grep -qx "ExecStart=/usr/bin/zuvonote-server --config /etc/zuvonote-server/server.ini" \
    "$work/server/usr/lib/systemd/system/zuvonote-server.service" || fail "the packaged unit's ExecStart"
grep -qx "db=sqlite:/var/lib/zuvonote-server/server.db" "$work/server/etc/zuvonote-server/server.ini" ||
    fail "the packaged server.ini's database"
# What Debian's own checker says of both, at error and warning level.
for deb in "$desktop" "$server"; do
    if ! out=$(lintian --fail-on error,warning "$deb" 2>&1); then
        fail "lintian $(basename "$deb"): $out"
    fi
done
echo "debian packages: ok"
