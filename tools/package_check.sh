#!/usr/bin/env bash
# Installs the two Debian packages made by tools/package.sh, runs what they installed and
# removes them again. Run as root on a machine where nothing else uses the packages.
#   tools/package_check.sh PACKAGE_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?folder with the .deb files}
shopt -s nullglob
debs=("$dir"/korvi_*.deb "$dir"/korvi-server_*.deb)
[ ${#debs[@]} -eq 2 ] || { echo "expected the packages korvi and korvi-server in $dir" >&2; exit 1; }

# A data folder this check makes is removed again at its end; an existing one is left alone.
data_existed=no
[ -e /var/lib/korvi-server ] && data_existed=yes
work=$(mktemp -d)
listener=""
cleanup() {
    [ -n "$listener" ] && kill "$listener" 2>/dev/null || true
    dpkg --purge korvi korvi-server >/dev/null 2>&1 || true
    [ "$data_existed" = yes ] || rm -rf /var/lib/korvi-server
    rm -rf "$work"
}
trap cleanup EXIT

echo "-- installing ${debs[*]}"
dpkg -i "${debs[@]}"
dpkg -L korvi korvi-server | sort > "$work/files"

echo "-- installed programs"
# Whole outputs are read before they are cut: with pipefail, a reader that stops early
# would fail the check with SIGPIPE.
help=$(/usr/bin/korvi-server --help); printf '%s\n' "$help" | sed -n 1,3p
help=$(/usr/bin/korvi-remote --help); printf '%s\n' "$help" | sed -n 1,3p
test -f /lib/systemd/system/korvi-server.service
test -f /etc/korvi-server/korvi-server.conf
test -d /var/lib/korvi-server
getent passwd korvi-server >/dev/null
systemd-analyze verify /lib/systemd/system/korvi-server.service
# The installed server runs as its user with the installed configuration and data folder,
# which starts without any participant (no shared account to log in with).
participants=$(runuser -u korvi-server -- /usr/bin/korvi-server --data /var/lib/korvi-server user list)
if [ -n "$(printf '%s\n' "$participants" | sed -n '2,$p')" ]; then
    echo "a fresh data folder holds participants" >&2
    exit 1
fi
runuser -u korvi-server -- /usr/bin/korvi-server --data /var/lib/korvi-server \
    --instruments /etc/korvi-server/instruments.conf user add "probe$$" probe-password --hash-iterations 1000
participants=$(runuser -u korvi-server -- /usr/bin/korvi-server --data /var/lib/korvi-server user list)
[[ "$participants" == *"probe$$"* ]] || { echo "the added participant is not listed" >&2; exit 1; }

echo "-- the installed client, offscreen, up to its first connection attempt"
# A listener on a free port stands in for the game server and reports the first connection.
python3 - "$work/port" "$work/connected" <<'PY' &
import socket, sys
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(1)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
s.settimeout(90)
c, _ = s.accept()
open(sys.argv[2], "w").write("yes")
c.close()
PY
listener=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
mkdir "$work/client"
printf '%s\r\n' '"probe"' "\"127.0.0.1:$port\"" ' 0 ' '""' '""' ' 0 ' '' '' ' 0 ' ' 0 ' ' 0 ' ' 0 ' \
    ' 0 ' 'probe' 'korvi-lesbar.col' ' 1 ' ' 1 ' '1.wav' ' 0 ' ' 0 ' ' 1 ' '0' '"ZAQR"' '127.0.0.1' \
    > "$work/client/Korvi.Ini"
chmod 600 "$work/client/Korvi.Ini"
(cd "$work/client" && QT_QPA_PLATFORM=offscreen timeout 90 /usr/bin/korvi) > "$work/client.log" 2>&1 &
client=$!
for _ in $(seq 900); do [ -s "$work/connected" ] && break; sleep 0.1; done
kill "$client" 2>/dev/null || true
wait "$client" 2>/dev/null || true
if [ ! -s "$work/connected" ]; then
    echo "the installed client never connected" >&2
    cat "$work/client.log" >&2
    exit 1
fi
echo "the installed client connected"

echo "-- removing"
dpkg -r korvi korvi-server
dpkg --purge korvi korvi-server
left=()
while read -r f; do
    case "$f" in /var/lib/korvi-server*) continue ;; esac
    [ -d "$f" ] && continue  # folders such as /lib are shared with other packages
    if [ -f "$f" ] || [ -L "$f" ]; then left+=("$f"); fi
done < "$work/files"
if [ ${#left[@]} -ne 0 ]; then
    echo "left behind after removal: ${left[*]}" >&2
    exit 1
fi
test -d /var/lib/korvi-server
[ "$data_existed" = yes ] || rm -rf /var/lib/korvi-server
echo "packages installed, ran and were removed; the data folder /var/lib/korvi-server outlived the removal"
