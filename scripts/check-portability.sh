#!/usr/bin/env bash
# The portability gate: passes only for add-in libraries and `wedgesim`
# commands that load on every x86 and x86-64 Linux with glibc 2.17 or later,
# and names everything that would stop one from loading there.
#
#   check-portability.sh LIB... [--command PROGRAM...]   check each (exit 1 if any fails)
#   check-portability.sh --newest-glibc FILE...   print the newest glibc version each file needs
#
# A library passes when
#   - every glibc symbol version it needs is GLIBC_2.17 or older;
#   - it needs no GLIBCXX_* or CXXABI_* version (libstdc++ is linked in, hidden);
#   - it needs no libraries but libX11, libxcb, libc, libpthread, libdl, libm,
#     libgcc_s and the dynamic loader, all present on every such system;
#   - it exports exactly the four entry points the platform looks up;
#   - it has no text relocations (refused by hardened systems, and unshared);
#   - its stack is not executable (refused by SELinux systems).
# A command passes the same checks but the exports, and may also need libXtst
# (the X test extension its key injection uses); its image libraries
# (zxing-cpp, zint) and libstdc++ must be linked in, never needed.
set -euo pipefail

oldest_glibc=2.17
allowed_needed='libX11.so.6 libxcb.so.1 libc.so.6 libpthread.so.0 libdl.so.2 libm.so.6 libgcc_s.so.1 ld-linux-x86-64.so.2 ld-linux.so.2'
allowed_command_needed="$allowed_needed libXtst.so.6"
exports='DestroyObject GetClassNames GetClassObject SetPlatformCapabilities'

# Every version a file needs, one "SYMBOL VERSION" a line, then every version
# again as "- VERSION" (from the table of versions needed, which also holds
# versions no symbol names). readelf prints a
# reference as name@VERSION (n), or name@@VERSION in older binutils.
needed_versions() {
  readelf --dyn-syms --wide "$1" |
    awk '$7 == "UND" && $8 ~ /@/ { split($8, part, "@+"); print part[1], part[2] }'
  readelf --version-info --wide "$1" |
    awk '/^ *0x[0-9a-f]+: +Name: / { print "-", $3 }'
}

# The glibc versions in a list of versions, without the GLIBC_ prefix.
glibc_numbers() { sed -n 's/^GLIBC_\([0-9][0-9.]*\)$/\1/p'; }

newest_glibc() {
  needed_versions "$1" | awk '{ print $2 }' | glibc_numbers | sort -V | tail -1
}

# True when version $1 is newer than $2.
newer() { [ "$1" != "$2" ] && [ "$(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -1)" = "$1" ]; }

check() {
  local kind=$1 file=$2
  local problems=()
  if [ ! -f "$file" ]; then
    echo "FAIL $file: no such file"
    return 1
  fi
  local type
  type=$(readelf --file-header "$file" 2>/dev/null | awk '$1 == "Type:" { print $2 }')
  if [ "$kind" = library ] && [ "$type" != DYN ]; then
    echo "FAIL $file: not a shared library"
    return 1
  fi
  if [ "$kind" = command ] && [ "$type" != DYN ] && [ "$type" != EXEC ]; then
    echo "FAIL $file: not a program"
    return 1
  fi
  local allowed=$allowed_needed
  [ "$kind" = command ] && allowed=$allowed_command_needed

  # Each offending version once, with the symbols that need it.
  local symbol version reason
  declare -A symbols=() reasons=()
  while read -r symbol version; do
    case $version in
      GLIBC_PRIVATE) reason="glibc's private interface" ;;
      GLIBC_*) newer "${version#GLIBC_}" "$oldest_glibc" || continue
        reason="newer than GLIBC_$oldest_glibc" ;;
      GLIBCXX_* | CXXABI_*) reason="libstdc++ must be linked in, its symbols hidden" ;;
      *) continue ;;
    esac
    reasons[$version]=$reason
    [ "$symbol" = - ] || symbols[$version]+=" $symbol"
  done < <(needed_versions "$file")
  for version in $(printf '%s\n' "${!reasons[@]}" | sort -V); do
    problems+=("needs $version (${reasons[$version]}):${symbols[$version]:- no symbol named}")
  done

  local library
  for library in $(readelf --dynamic --wide "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    case " $allowed " in
      *" $library "*) ;;
      *) problems+=("needs $library, which is not everywhere") ;;
    esac
  done

  local exported name
  if [ "$kind" = library ]; then
    exported=" $(nm -D --defined-only "$file" | awk '{ print $NF }' | sed 's/@.*//' | sort -u | tr '\n' ' ')"
    for name in $exported; do
      [[ " $exports " == *" $name "* ]] || problems+=("exports $name (only the four entry points may be seen)")
    done
    for name in $exports; do
      [[ $exported == *" $name "* ]] || problems+=("does not export $name")
    done
  fi

  if readelf --dynamic --wide "$file" | grep -qE '\(TEXTREL\)|Flags:.*TEXTREL'; then
    problems+=("has text relocations")
  fi

  local stack
  stack=$(readelf --program-headers --wide "$file" | awk '$1 == "GNU_STACK" { print $(NF - 1) }')
  if [ -z "$stack" ]; then
    problems+=("has no GNU_STACK header, so its stack is executable")
  elif [[ $stack == *E* ]]; then
    problems+=("asks for an executable stack")
  fi

  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok   $file (newest glibc needed: GLIBC_$(newest_glibc "$file"))"
    return 0
  fi
  echo "FAIL $file:"
  printf '       %s\n' "${problems[@]}"
  return 1
}

if [ "${1:-}" = --newest-glibc ]; then
  shift
  for file in "$@"; do
    newest=$(newest_glibc "$file")
    echo "$file GLIBC_${newest:-none}"
  done
  exit 0
fi

[ $# -gt 0 ] || { echo "usage: check-portability.sh LIB... [--command PROGRAM...] | --newest-glibc FILE..." >&2; exit 2; }
status=0
kind=library
for file in "$@"; do
  if [ "$file" = --command ]; then
    kind=command
    continue
  fi
  check "$kind" "$file" || status=1
done
exit $status
