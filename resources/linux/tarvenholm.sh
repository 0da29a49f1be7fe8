#!/bin/sh
# Starts the TarvenHOLM client in the player's own game folder.
#
# The client keeps its settings, content, cookies and translations in the
# folder it runs in. Each player gets one of their own below
# $XDG_DATA_HOME (by default ~/.local/share/tarvenholm), made on the first
# start; the installed files are never written. The operator's settings for
# the whole system (the update server of a deployment, its key, its sites)
# are in etc/tarvenholm/tarvenholm.ini of this installation; the client reads
# them at every start where the player's own file does not set them.
#
# The program is found relative to this script, so an unpacked package runs
# where it lies.
set -e

bin=$(dirname "$(readlink -f "$0")")
lib="$bin/../lib/tarvenholm"
TARVENHOLM_SYSTEM_SETTINGS=$(readlink -m "$bin/../../etc/tarvenholm/tarvenholm.ini")
export TARVENHOLM_SYSTEM_SETTINGS

game="${XDG_DATA_HOME:-$HOME/.local/share}/tarvenholm"
mkdir -p "$game"

# The translations the program looks for beside its settings: the installed
# ones, brought up to date after an upgrade.
for translation in tarvenholm_en.qm tarvenholm_ru.qm; do
    if ! cmp -s "$lib/$translation" "$game/$translation"; then
        cp "$lib/$translation" "$game/$translation"
    fi
done

cd "$game"
exec "$lib/tarvenholm" "$@"
