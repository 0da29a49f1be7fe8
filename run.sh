#!/usr/bin/env bash
# Builds the client and starts it on the bundled demo servers, all on
# 127.0.0.1: nginx serves the content of demo/ published with the project's
# manifest tool (with the operator's examples from deploy/: the update root's
# rules and, run as root, the socket policy on port 843), and the demo's game
# server (demo/gameserver.py) keeps the game room the movies chat in. The
# client runs in build/demo/ with the demo operator's settings.
#   ./run.sh       one client
#   ./run.sh 2     two clients side by side (build/demo/, build/demo2/): each
#                  sees what the other says in the game room
# Closing every client's window (or Ctrl+C here) stops the servers too.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD
players=${1:-1}
case $players in 1|2) ;; *) echo "usage: $0 [1|2]" >&2; exit 2 ;; esac
./tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# What the demo runs, not the tests and benchmarks.
cmake --build build -j2 --target tarvenholm translations ruffle tarvenholm-manifest tarvenholm-demo-movies

work=$top/build/demo             # the client's own folder
server=$top/build/demo-server    # what the update server publishes
nginxdir=$top/build/demo-nginx
mkdir -p "$work" "$server" "$nginxdir"

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=18480
while ! port_free "$port"; do port=$((port + 1)); done
root="http://127.0.0.1:$port/"
gameport=19339
while ! port_free "$gameport"; do gameport=$((gameport + 1)); done

# The demo operator's signing key, made once: the demo's update is a verified
# one (the client gets the public key in its settings).
key=$top/build/demo-operator.key
if [ ! -f "$key" ] || [ ! -f "$key.pub" ]; then
    rm -f "$key" "$key.pub"
    build/tools/tarvenholm-manifest --new-key "$key" >"$key.pub"
    rm -rf "$server" # content signed by an earlier key is published anew
fi
updatekey=$(cat "$key.pub")

# The demo's movies name the server's address; content changes only when it
# does, and only then gets a new stamp, so a second run finds it current.
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
cp -r demo/game "$staging/game"
cp -r demo/sites/. "$staging/"
build/tools/tarvenholm-demo-movies "$staging/game" "$root" "$staging/guild" "127.0.0.1:$gameport"
if [ -f "$server/game/update/stamp.txt" ] && diff -rq -x update "$staging/game" "$server/game" >/dev/null; then
    cp -r "$server/game/update" "$staging/game/"
else
    build/tools/tarvenholm-manifest --key "$key" "$staging/game" "$(date +%s)"
fi
rm -rf "$server"
cp -r "$staging" "$server"
chmod -R a+rX "$server"

# The socket policy on 843, from the operator's example with the demo's site
# and game port; only root may listen there.
stream_module=""
stream=""
if [ "$(id -u)" = 0 ] && port_free 843; then
    sed -e 's|listen 843;|listen 127.0.0.1:843;|' -e '/listen \[::\]:843;/d' \
        -e "s|domain=\"\*\.example\.com\" to-ports=\"9339\"|domain=\"127.0.0.1\" to-ports=\"$gameport\"|" \
        deploy/nginx/tarvenholm-socket-policy.conf >"$nginxdir/socket-policy.conf"
    stream_module="load_module /usr/lib/nginx/modules/ngx_stream_module.so;"
    stream="include $nginxdir/socket-policy.conf;"
else
    echo "No socket policy on port 843 (it needs root and a free port): the partner page's banner stays out of the game room."
fi
sed -e "s|@PREFIX@|$nginxdir|g" -e "s|@PORT@|$port|g" -e "s|@ROOT@|$server|g" -e "s|@DEPLOY@|$top/deploy|g" \
    -e "s|@STREAM_MODULE@|$stream_module|" -e "s|@STREAM@|$stream|" demo/nginx.conf.in >"$nginxdir/nginx.conf"
/usr/sbin/nginx -p "$nginxdir" -c "$nginxdir/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
python3 demo/gameserver.py "$gameport" &
game_pid=$!
trap 'kill "$nginx_pid" "$game_pid" 2>/dev/null; rm -rf "$staging"' EXIT
trap 'exit 130' INT TERM # the servers stop on Ctrl+C or a kill too

# The demo operator's settings, as /etc/tarvenholm/tarvenholm.ini holds a
# deployment's: read by the client at every start.
mkdir -p "$top/build/demo-etc"
cat >"$top/build/demo-etc/tarvenholm.ini" <<INI
[General]
updateroot=${root}game/
forum=${root}forum.tarvenholm/index.html
web=http://www.example.org/
email=support@tarvenholm.example
intbrowser="Guild Hall:guild@${root}guild/index.html"
updatekey=$updatekey
sockets=127.0.0.1:$gameport
INI
chmod -R go-w "$top/build/demo-etc"
export TARVENHOLM_SYSTEM_SETTINGS=$top/build/demo-etc/tarvenholm.ini

# The player's own settings: what the player keeps (language, installed
# stamp, window) stays; the rest is the operator's, above.
prepare() {
    local work=$1 keep
    mkdir -p "$work"
    keep=$(grep -E '^(lang|stamp|window)=' "$work/tarvenholm.ini" 2>/dev/null || true)
    printf '[General]\n%s\n' "$keep" >"$work/tarvenholm.ini"
    cp build/client/tarvenholm_en.qm build/client/tarvenholm_ru.qm "$work/"
}

# The web engine will not run as root with its sandbox on. A player never runs
# the client as root; this demo often does (a fresh machine set up as root), so
# only this run does without the sandbox.
if [ "$(id -u)" = 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

client() { (cd "$1" && exec "$top/build/client/tarvenholm"); }
both() {
    client "$work" &
    local first=$!
    if [ "$players" = 2 ]; then
        prepare "$top/build/demo2"
        client "$top/build/demo2" || true
    fi
    wait "$first"
}
prepare "$work"
status=0
if [ -n "${DISPLAY:-}" ]; then
    both || status=$?
else
    export work players top
    xvfb-run -a -s "-screen 0 1920x1080x24" bash -c "$(declare -f client prepare both); both" || status=$?
fi
exit $status
