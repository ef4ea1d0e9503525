#!/usr/bin/env bash
# The module through NSS: modutil adds it to a fresh database (NSS passes
# initialisation arguments) and lists its slot and token.
set -euo pipefail
MODULE="$1"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
unset XDG_DATA_HOME
mkdir -p "$HOME" "$WORK/db"
certutil -N -d "sql:$WORK/db" --empty-password
echo | modutil -dbdir "sql:$WORK/db" -add tessera -libfile "$MODULE" -force >/dev/null
modutil -dbdir "sql:$WORK/db" -list >"$WORK/list"
grep -q "slot: Slot : 1" "$WORK/list" || { cat "$WORK/list"; echo "no slot listed" >&2; exit 1; }
grep -q "token: QYRA P11 V3.0" "$WORK/list" || { cat "$WORK/list"; echo "no token listed" >&2; exit 1; }
echo "nss: modutil loads the module and lists its slot and token"
