#!/usr/bin/env bash
# The bash completion of velloc against the real velloc: commands, each command's options, the
# registry's subcommands and folders for init.
# Usage: completion_test.sh VELLOC velloc-completion.bash
set -u
velloc=$1
# shellcheck source=/dev/null
source "$2"
failures=0

complete_line() {  # the words of a command line whose last word is being completed
  COMP_WORDS=("$velloc" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _velloc
  echo "${COMPREPLY[*]}"
}

expect() {  # LINE EXPECTED
  local got
  read -r -a words <<<"$1"
  [[ $1 == *" " ]] && words+=("")
  got=$(complete_line "${words[@]}")
  if [[ $got != "$2" ]]; then
    echo "FAIL: '$1' completes to '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/myapp"
touch "$folder/myfile"

expect "in" "init info"
expect "p" "pack"
expect "--v" "--version"
expect "pack --deb" "--deb --debug"
expect "pack --des" "--desktop-files"
expect "pack --ru" "--runtime"
expect "pack -o $folder/myf" "$folder/myfile"
expect "init --" "--help --name --template"
expect "registry " "list get set delete"
expect "registry list --" "--db --help"
expect "init $folder/my" "$folder/myapp"
expect "init x --name " ""
# Every command of the overview completes.
for command in $("$velloc" --help | sed -n 's/^  velloc \([a-z][a-z-]*\).*/\1/p'); do
  [[ " $(complete_line "") " == *" $command "* ]] || {
    echo "FAIL: $command does not complete"
    failures=$((failures + 1))
  }
done
exit $((failures > 0))
