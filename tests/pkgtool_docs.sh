#!/usr/bin/env bash
# pkgtool's manual pages and completion, as the build makes them from the
# help texts: every command that `pkgtool help` lists has its part of
# pkgtool(1) with options, exit status and an example, both pages render
# without a warning, and the completion offers every command.
#   tests/pkgtool_docs.sh BUILD_DIR       the host tree's bin/ and doc/
#   tests/pkgtool_docs.sh ROOT            an unpacked package's usr/
set -uo pipefail
top=${1:?usage: pkgtool_docs.sh BUILD_DIR|ROOT}
if [[ -x $top/usr/bin/pkgtool ]]; then
  pkgtool=$top/usr/bin/pkgtool
  man1=$top/usr/share/man/man1/pkgtool.1.gz
  man5=$top/usr/share/man/man5/pkgtool-manifest.5.gz
  completion=$top/usr/share/bash-completion/completions/pkgtool
else
  pkgtool=$top/bin/pkgtool
  man1=$top/doc/pkgtool.1
  man5=$top/doc/pkgtool-manifest.5
  completion=$top/doc/pkgtool.bash-completion
fi
failures=0
fail() {
  echo "pkgtool_docs: $*" >&2
  failures=$((failures + 1))
}

commands=$("$pkgtool" help | sed -n '/^Commands:/,/^$/s/^  \([a-z]*\) .*/\1/p')
[[ -n $commands ]] || fail "pkgtool help lists no command"
for command in $commands; do
  part=$(zcat -f "$man1" | sed -n "/^\.SS $command\$/,/^\.S[SH] /p")
  [[ -n $part ]] || fail "pkgtool(1) has no part for $command"
  for heading in 'Options:' 'Exit status:' 'Examples:'; do
    grep -qx "\.B $heading" <<<"$part" || fail "$command has no \"$heading\" in pkgtool(1)"
  done
done
for page in "$man1" "$man5"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page: $warnings"
done

if [[ -f /usr/share/bash-completion/bash_completion ]]; then
  offered=$(bash -c 'source /usr/share/bash-completion/bash_completion
    source "$1"; COMP_WORDS=(pkgtool ""); COMP_CWORD=1; COMP_LINE="pkgtool "
    COMP_POINT=8; _pkgtool pkgtool "" pkgtool; echo "${COMPREPLY[*]}"' _ \
    "$completion")
  for command in $commands; do
    [[ " $offered " == *" $command "* ]] || fail "completion does not offer $command"
  done
fi

((failures == 0)) || exit 1
echo "pkgtool_docs: $(wc -w <<<"$commands") commands in pkgtool(1) and the completion"
