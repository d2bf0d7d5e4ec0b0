#!/usr/bin/env bash
# Builds the programs, starts the local game server and opens the client against it.
# The client runs in the working folder demo/, which keeps its settings between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target korvi quenby korvi-server korvi-remote

mkdir -p demo
# The logo animation, the sounds and both colour schemes; files already there (perhaps
# edited in the client) are kept.
for asset in korvi.dat 1.wav KorviEx.wav korvi-standard.col korvi-lesbar.col; do
    [ -f "demo/$asset" ] || cp "assets/$asset" "demo/$asset"
done
if [ ! -f demo/Korvi.Ini ]; then
    # A starter settings file: user demo/demo on the local server, the readable colour
    # scheme, the order socket on its default 4101 (the server takes 4100). It holds the
    # password, so only its owner may read it.
    (umask 077 && printf '%s\r\n' '"demo"' '"127.0.0.1"' ' 0 ' '""' '""' ' 0 ' '' '' ' 0 ' ' 0 ' ' 0 ' ' 0 ' \
        ' 0 ' 'demo' 'korvi-lesbar.col' ' 1 ' ' 1 ' '1.wav' ' 0 ' ' 0 ' ' 1 ' '4101' '"ZAQR"' '127.0.0.1' \
        > demo/Korvi.Ini)
fi

server_pid=""
if [ -x build/bin/korvi-server ]; then
    # A new data folder holds no participant; the demo adds its own, demo/demo, once.
    if ! build/bin/korvi-server --data "$top/demo/server-data" user list | grep -q '^demo '; then
        build/bin/korvi-server --data "$top/demo/server-data" user add demo demo
    fi
    build/bin/korvi-server --data "$top/demo/server-data" --port 4100 --http-port 8100 --bind 127.0.0.1 &
    server_pid=$!
    trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true' EXIT
    sleep 1
fi

cd demo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running the client in a virtual X display (xvfb-run)."
    xvfb-run -a "$top/build/bin/korvi"
else
    "$top/build/bin/korvi"
fi
