#!/bin/sh
# What a host sees of Marquill.dll without running it: the seven undecorated
# exports at ordinals 1 to 7, and imports from Windows' own DLLs only (the C++
# runtime is linked in).
# Loading it runs nothing of the plug-in's own: none of the objects linked
# into it has a static initializer.
# Usage: check_dll.sh OBJDUMP Marquill.dll [NM OBJECT-OR-ARCHIVE...]
objdump=$1 dll=$2
# The tools' own words are parsed: untranslated, whatever the user's locale.
export LC_ALL=C
case "$(basename "$dll")" in Marquill.dll) ;; *) echo "unexpected file name: $dll"; exit 1 ;; esac
out=$("$objdump" -p "$dll") || exit 1
status=0

base=$(printf '%s\n' "$out" | sed -n 's/^Ordinal Base[[:space:]]*//p')
[ "$base" = 1 ] || { echo "ordinal base is '$base', not 1"; status=1; }
# "[   n] Name": n + 1 is the ordinal.
exports=$(printf '%s\n' "$out" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' | sort -n | tr '\n' ',')
want="0 OnCommand,1 QueryStatus,2 OnEvents,3 GetMenuTextID,4 GetStatusMessageID,5 GetBitmapID,6 PlugInProc,"
[ "$exports" = "$want" ] || { echo "exports: $exports"; echo "expected: $want"; status=1; }

for name in $(printf '%s\n' "$out" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z'); do
  case "$name" in
    KERNEL32.DLL | USER32.DLL | SHELL32.DLL | MSVCRT.DLL | ADVAPI32.DLL | GDI32.DLL) ;;
    *) echo "imports $name, which is not part of Windows"; status=1 ;;
  esac
done
shift 2
if [ $# -gt 0 ]; then
  nm=$1
  shift
  for f in "$@"; do
    if "$nm" "$f" | grep -q '_GLOBAL__sub_I'; then
      echo "$(basename "$f") runs code when the library is loaded:"
      "$nm" -C "$f" | grep '_GLOBAL__sub_I' | sed 's/^/  /'
      status=1
    fi
  done
fi

[ $status = 0 ] && echo "Marquill.dll: exports, imports and loading as expected"
exit $status
