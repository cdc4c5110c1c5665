# Bash completion for velloc. Source it, or install it as
# /usr/share/bash-completion/completions/velloc. Commands and options are read from velloc's own
# help, so new ones complete without a change here.
_velloc() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local velloc=${COMP_WORDS[0]}
  velloc=${velloc/#\~/$HOME}
  if ((COMP_CWORD == 1)); then
    local commands
    commands=$("$velloc" --help 2>/dev/null | sed -n 's/^  velloc \([a-z][a-z-]*\).*/\1/p')
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return
  fi
  local command=${COMP_WORDS[1]}
  case $prev in
    --name) return ;;
    --target)
      mapfile -t COMPREPLY < <(compgen -W "linux windows" -- "$cur")
      return
      ;;
    -o | --output | --runtime | --module | --installer | --icon | --db | --desktop-files)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    local options
    options=$("$velloc" "$command" --help 2>/dev/null |
      grep -oE '(^|[[:space:][|])--?[a-z][a-z-]*' | tr -d ' \t[|' | sort -u)
    mapfile -t COMPREPLY < <(compgen -W "$options --help" -- "$cur" | sort -u)
  elif [[ $command == registry ]] && ((COMP_CWORD == 2)); then
    mapfile -t COMPREPLY < <(compgen -W "list get set delete" -- "$cur")
  elif [[ $command == init || $command == pack ]]; then
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -o filenames -F _velloc velloc
