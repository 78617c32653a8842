#!/bin/sh
# Unpacks the Debian package that package-build.sh made into a temporary
# root with dpkg -x and runs the installed program from there.
# Usage: package-test.sh PACKAGE_DIR VERSION
set -eu
pkg=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
fail() { echo "package test: $*" >&2; exit 1; }

deb=$(ls "$pkg"/marquill_*.deb)
[ "$(dpkg-deb -f "$deb" Package Version)" = "Package: marquill
Version: $version" ] || fail "package fields: $(dpkg-deb -f "$deb" Package Version)"
dpkg -x "$deb" "$work/root"
m=$work/root/usr/bin/marquill
[ -x "$m" ] || fail "no usr/bin/marquill in the package"
page=$work/root/usr/share/man/man1/marquill.1.gz
[ -f "$page" ] || fail "no compressed manual page in the package"
shown=$(man -P cat -l "$page" 2>/dev/null) || true
printf '%s\n' "$shown" | grep -q 'EXIT STATUS' || fail "the manual page does not show EXIT STATUS"
printf '%s\n' "$shown" | grep -q "Marquill $version" || fail "the manual page does not show the version"
grep -q '^Copyright: [0-9-]* the Marquill authors' "$work/root/usr/share/doc/marquill/copyright" || fail "no copyright file"
zcat "$work/root/usr/share/doc/marquill/changelog.gz" | head -n 1 | grep -q "^marquill ($version) " ||
  fail "no changelog of version $version"
# Debian's own checks of the package: no error and no warning.
said=$(lintian --pedantic --no-tag-display-limit "$deb" 2>&1 | grep '^[EW]: ') || true
[ -z "$said" ] || fail "lintian: $said"

dpkg-deb -f "$deb" Maintainer | grep -q '<[^ @]*@[^ @]*>$' || fail "no address in Maintainer: $(dpkg-deb -f "$deb" Maintainer)"
for f in share/man/ja/man1/marquill.1.gz share/locale/ja/LC_MESSAGES/marquill.mo \
         share/bash-completion/completions/marquill share/doc/marquill/examples/Marquill_Setting.txt; do
  [ -f "$work/root/usr/$f" ] || fail "no usr/$f in the package"
done
LC_ALL=ja_JP.UTF-8 man -P cat -l "$work/root/usr/share/man/ja/man1/marquill.1.gz" 2>/dev/null | grep -q '終了ステータス' ||
  fail "the Japanese manual page does not show its exit status section"

# The completion as built, with its verbs written in, found and loaded by
# bash-completion as on the first TAB after marquill.
verbs=$(PATH=$work/root/usr/bin:$PATH XDG_DATA_DIRS=$work/root/usr/share BASH_COMPLETION_USER_DIR=$work/none \
  bash -c '. /usr/share/bash-completion/bash_completion && __load_completion marquill &&
  COMP_WORDS=(marquill "") COMP_CWORD=1 COMP_LINE="marquill " COMP_POINT=9 &&
  _marquill marquill "" marquill && echo "${COMPREPLY[*]}"')
listed=$("$m" entries --format=json --settings /dev/null | sed -n 's/^  {"verb": "\([^"]*\)".*/\1/p' | tr '\n' ' ')
[ -n "$verbs" ] && [ "$verbs " = "$listed" ] || fail "the installed completion offers [$verbs], not [$listed]"
[ "$("$m" --version)" = "marquill $version" ] || fail "--version: $("$m" --version)"
[ "$(printf 'a\n b\n' | "$m" insert '> ')" = "$(printf '> a\n>  b')" ] || fail "insert on a pipe"
printf '> > x\n' >"$work/t.txt"
"$m" delete-all -i.bak -e '> ' "$work/t.txt" || fail "delete-all -i"
[ "$(cat "$work/t.txt")" = x ] && [ "$(cat "$work/t.txt.bak")" = "> > x" ] || fail "in-place edit"
status=0
printf '\377\n' | "$m" insert '> ' 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "bad input gave status $status"
# The installed catalogue, found from the installed program.
# /usr/bin/locale, the locale program, stands beside it on a real system.
: >"$work/root/usr/bin/locale"
LC_ALL=ja_JP.UTF-8 "$m" --help | grep -q '^使い方' || fail "no Japanese --help from the installed program"
# The starter list works as the default settings file.
[ "$(printf 'a\n' | MARQUILL_SETTINGS=$work/root/usr/share/doc/marquill/examples/Marquill_Setting.txt "$m" toggle --entry 1)" = "> a" ] ||
  fail "toggle with the starter list as the default settings file"
echo "package test: $(basename "$deb") installs and runs"
