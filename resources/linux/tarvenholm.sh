#!/bin/sh
# Starts the TarvenHOLM client in the player's own game folder.
#
# The client keeps its settings, content, cookies and translations in the
# folder it runs in. Each player gets one of their own below
# $XDG_DATA_HOME (by default ~/.local/share/tarvenholm), made on the first
# start; the installed files are never written. Settings preset for the whole
# system (the update server of a deployment) come from etc/tarvenholm/
# tarvenholm.ini, copied into a new game folder, never over a player's.
#
# The program is found relative to this script, so an unpacked package runs
# where it lies.
set -e

bin=$(dirname "$(readlink -f "$0")")
lib="$bin/../lib/tarvenholm"
presets="$bin/../../etc/tarvenholm/tarvenholm.ini"

game="${XDG_DATA_HOME:-$HOME/.local/share}/tarvenholm"
mkdir -p "$game"

# The translations the program looks for beside its settings: the installed
# ones, brought up to date after an upgrade.
for translation in tarvenholm_en.qm tarvenholm_ru.qm; do
    if ! cmp -s "$lib/$translation" "$game/$translation"; then
        cp "$lib/$translation" "$game/$translation"
    fi
done
if [ ! -e "$game/tarvenholm.ini" ] && [ -f "$presets" ]; then
    cp "$presets" "$game/tarvenholm.ini"
fi

cd "$game"
exec "$lib/tarvenholm" "$@"
