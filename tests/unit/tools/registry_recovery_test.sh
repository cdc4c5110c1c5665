#!/usr/bin/env bash
# The README's recovery of a damaged registry store, run as written on a store with a damaged
# page: the values that can still be read come back, in a store velloc reads without complaint.
# Usage: registry_recovery_test.sh VELLOC README.md
set -euo pipefail
velloc=$1
readme=$2
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
export XDG_CONFIG_HOME=$folder
store=$folder/velloc/registry.db

fail() {
  echo "FAIL: $*"
  exit 1
}

# A store of several pages: one value through velloc (which makes the store), the rest at once.
"$velloc" registry set 'Software\Recovery' v1 "value number 1" >/dev/null
{
  echo "BEGIN;"
  for i in $(seq 2 400); do
    echo "INSERT INTO registry_values SELECT id, 'V$i', 'v$i', 1,"
    echo "  CAST('value number $i, long enough to fill a page soon' AS BLOB)"
    echo "  FROM registry_keys WHERE fold = 'SOFTWARE\\RECOVERY';"
  done
  echo "COMMIT;"
} | sqlite3 "$store"
[[ $("$velloc" registry list 'Software\Recovery' | grep -c REG_SZ) == 400 ]] ||
  fail "the store was not filled"

# One page in the middle becomes garbage.
printf '\x0d\xff\xff\xff\xff\xff\xff\xff' | dd of="$store" bs=1 seek=$((4096 * 5)) conv=notrunc \
  status=none
damaged=$("$velloc" registry list 'Software\Recovery' 2>&1 || true)
[[ $damaged == *"is damaged"* ]] || fail "velloc does not find the store damaged: $damaged"

# The README's lines between "cd ~/.config/velloc" and the listing, as they are written.
recipe=$(sed -n '/^cd ~\/.config\/velloc$/,/^velloc registry list/p' "$readme" | sed '1d;$d')
[[ $recipe == *".dump"* ]] || fail "no recovery found in $readme"
(cd "$folder/velloc" && bash -e -c "$recipe") || fail "the recovery failed"

listing=$("$velloc" registry list 'Software\Recovery' 2>&1) || fail "velloc cannot read: $listing"
[[ $listing != *damaged* ]] || fail "the recovered store is damaged: $listing"
recovered=$(grep -c REG_SZ <<<"$listing" || true)
((recovered > 100 && recovered < 400)) || fail "$recovered of 400 values came back"
[[ $(stat -c %a "$store") == 600 ]] || fail "the recovered store is readable by others"
echo "recovered $recovered of 400 values"
