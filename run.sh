#!/usr/bin/env bash
# Builds the client and starts it on the bundled demo update server: nginx on
# 127.0.0.1 serves the content of demo/ published with the project's manifest
# tool; the client runs in build/demo/ with its settings pointing there.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD
./tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

work=$top/build/demo             # the client's own folder
server=$top/build/demo-server    # what the update server publishes
nginxdir=$top/build/demo-nginx
mkdir -p "$work" "$server" "$nginxdir"

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=18480
while ! port_free "$port"; do port=$((port + 1)); done
root="http://127.0.0.1:$port/"

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
build/tools/tarvenholm-demo-movies "$staging/game" "$root" "$staging/guild"
if [ -f "$server/game/update/stamp.txt" ] && diff -rq -x update "$staging/game" "$server/game" >/dev/null; then
    cp -r "$server/game/update" "$staging/game/"
else
    build/tools/tarvenholm-manifest --key "$key" "$staging/game" "$(date +%s)"
fi
rm -rf "$server"
cp -r "$staging" "$server"
chmod -R a+rX "$server"

sed -e "s|@PREFIX@|$nginxdir|g" -e "s|@PORT@|$port|g" -e "s|@ROOT@|$server|g" demo/nginx.conf.in >"$nginxdir/nginx.conf"
/usr/sbin/nginx -p "$nginxdir" -c "$nginxdir/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
trap 'kill "$nginx_pid" 2>/dev/null; rm -rf "$staging"' EXIT

# Settings of the demo: what the player keeps (language, installed stamp) stays.
keep=$(grep -E '^(lang|stamp)=' "$work/tarvenholm.ini" 2>/dev/null || true)
cat >"$work/tarvenholm.ini" <<INI
[General]
$keep
updateroot=${root}game/
forum=${root}forum.tarvenholm/index.html
web=http://www.example.org/
email=support@tarvenholm.example
intbrowser="Guild Hall:guild@${root}guild/index.html"
updatekey=$updatekey
INI
cp build/client/tarvenholm_en.qm build/client/tarvenholm_ru.qm "$work/"

# The web engine will not run as root with its sandbox on. A player never runs
# the client as root; this demo often does (a fresh machine set up as root), so
# only this run does without the sandbox.
if [ "$(id -u)" = 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

cd "$work"
status=0
if [ -n "${DISPLAY:-}" ]; then
    "$top/build/client/tarvenholm" || status=$?
else
    xvfb-run -a -s "-screen 0 1280x1024x24" "$top/build/client/tarvenholm" || status=$?
fi
exit $status
