#!/usr/bin/env bash
# A staged install (DESTDIR) lays everything out where the freedesktop and
# Debian conventions expect it, and the installed program starts from there
# and finds its program folder.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
usr=$stage/usr

for f in bin/zuvonote bin/zuvonote-server lib/zuvonote/zuvonote lib/zuvonote/zuvonote-audio.so \
    lib/zuvonote/brisel.mdb \
    lib/zuvonote/languages/Chinese.lng lib/zuvonote/languages/English.lng "lib/zuvonote/sound/Alarm sound.mp3" \
    share/applications/zuvonote.desktop share/metainfo/com.zuvo.Note.metainfo.xml \
    share/icons/hicolor/scalable/apps/zuvonote.svg share/man/man1/zuvonote.1.gz \
    share/man/man1/zuvonote-server.1.gz lib/systemd/system/zuvonote-server.service; do
    [[ -e "$usr/$f" ]] || fail "not installed: /usr/$f"
done
[[ -f $stage/etc/zuvonote-server/server.ini ]] || fail "no /etc/zuvonote-server/server.ini"
[[ -d $stage/var/lib/zuvonote-server ]] || fail "no /var/lib/zuvonote-server"
[[ ! -e $usr/lib/zuvonote/config.ini ]] || fail "a settings template is installed"
[[ $(readlink "$usr/bin/zuvonote") == ../lib/zuvonote/zuvonote ]] || fail "bin/zuvonote is not a relative link"

# Every theme size is there, and is the size its folder says (PNG width and height, big-endian).
for size in 16 22 24 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/zuvonote.png
    [[ -f $png ]] || fail "no ${size}x${size} icon"
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4, $7*256+$8}')
    [[ "$w $h" == "$size $size" ]] || fail "the ${size}x${size} icon is ${w}x${h}"
done

desktop-file-validate "$usr/share/applications/zuvonote.desktop" || fail "desktop entry"
grep -qx "Icon=zuvonote" "$usr/share/applications/zuvonote.desktop" || fail "desktop entry without the icon"
grep -qx "Exec=zuvonote" "$usr/share/applications/zuvonote.desktop" || fail "desktop entry's Exec"
appstreamcli validate --no-net "$usr/share/metainfo/com.zuvo.Note.metainfo.xml" >/dev/null ||
    fail "metainfo: $(appstreamcli validate --no-net "$usr/share/metainfo/com.zuvo.Note.metainfo.xml")"

# Both manual pages render, and man finds them by name.
for page in zuvonote zuvonote-server; do
    # Read whole before grep -q, which would cut man off with SIGPIPE.
    text=$(MANPATH=$usr/share/man MANWIDTH=80 man -P cat "$page" 2>/dev/null) || fail "man $page"
    grep -q "^NAME" <<<"$text" || fail "man $page shows no NAME section"
done

[[ $("$usr/bin/zuvonote" --version) == "zuvonote $(sed -n 's/.*kVersionText = "\(.*\)";/\1/p' \
    "$build/src/generated/uVersion.h")" ]] || fail "zuvonote --version"
[[ $("$usr/bin/zuvonote-server" --version) == "zuvonote-server "[0-9]* ]] || fail "zuvonote-server --version"

# Sound is a module the program opens at its first playback: the program itself
# links neither the codecs nor the sound system.
if readelf -d "$usr/lib/zuvonote/zuvonote" | grep -E "NEEDED.*(libav|libswresample|Multimedia)"; then
    fail "the program links what only its audio module needs"
fi

# The installed program, started through its link on a fresh account, reaches
# its idle loop; it reads the language file of the desktop's locale from the installed program folder,
# copies the template database into the data folder, and looks for none of its
# own files there in vain (Qt's probes for plugins and qt.conf aside).
home=$work/home
mkdir -p "$home/run"
chmod 700 "$home/run"
status=0
# A sanitizer build keeps its options (its leak check cannot run under strace).
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen LANG=zh_CN.UTF-8 \
    ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"} ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    ZUVONOTE_QUIT_WHEN_IDLE=1 ZUVONOTE_SERVER=http://127.0.0.1:9/ \
    strace -ff -qq -e trace=openat,stat,newfstatat,access -o "$work/trace" "$usr/bin/zuvonote" || status=$?
# One file per thread (-ff), so that no call is split by another thread's.
cat "$work"/trace.* >"$work/trace"
[[ $status == 0 ]] || fail "the installed program exited with $status"
folder=$usr/lib/zuvonote
grep -q "openat(.*\"$folder/languages/Chinese.lng\".* = [0-9]" "$work/trace" || fail "the language file was not read"
[[ -f $home/.local/share/Zuvo/Note/brisel.mdb ]] || fail "the template database was not copied"
# (config.ini is the settings template only a portable copy carries: looked for, not expected.)
if grep "\"$folder/[^\"]*\".*ENOENT" "$work/trace" |
    grep -Ev "\"$folder/(config\.ini|qt6?\.conf|platforms|platformthemes|platforminputcontexts|styles|iconengines|imageformats|accessiblebridge|xcbglintegrations|multimedia|tls|networkinformation)\""; then
    fail "the program looked for missing files in its program folder"
fi
if grep -E "openat\(.*(zuvonote-audio\.so|libav|Multimedia).* = [0-9]" "$work/trace"; then
    fail "a start that plays nothing opened the audio module"
fi

# The service unit as systemd reads it; installed under a prefix of its own so
# that the command it names exists on this machine, and its manual page too.
srv=$work/srv
cmake --install "$build" --prefix "$srv" --component server >/dev/null
MANPATH=$srv/share/man systemd-analyze verify "$srv/lib/systemd/system/zuvonote-server.service" ||
    fail "systemd-analyze verify"
unit=$srv/lib/systemd/system/zuvonote-server.service
for line in "ExecStart=$srv/bin/zuvonote-server --config $srv/etc/zuvonote-server/server.ini" \
    User=zuvonote-server StateDirectory=zuvonote-server ProtectSystem=strict ProtectHome=yes NoNewPrivileges=yes; do
    grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done
grep -q "^LimitNOFILE=[0-9]" "$unit" || fail "the unit sets no LimitNOFILE"
# The shipped configuration is one the server accepts, with the database where the unit keeps its state.
"$srv/bin/zuvonote-server" --config "$srv/etc/zuvonote-server/server.ini" --db "sqlite:$work/check.db" \
    --check-config >/dev/null || fail "the shipped server.ini does not pass --check-config"
grep -qx "db=sqlite:/var/lib/zuvonote-server/server.db" "$srv/etc/zuvonote-server/server.ini" ||
    fail "server.ini names another database"
echo "staged install: ok"
