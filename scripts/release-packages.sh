#!/usr/bin/env bash
# Runs inside the release root (scripts/release.sh calls it after the release
# build): the .deb and .rpm packages of both widths, made by cpack from the
# release build in /out/x64 and /out/x86 (cmake/Packages.cmake), into
# /out/packages. Besides cpack's work it
#   - adds "Multi-Arch: same" to each .deb (cpack cannot write the field), so
#     that both widths install side by side;
#   - refuses a .deb whose Depends are not what dpkg-shlibdeps finds its
#     programs need (the same packages, no older versions than it asks for).
#
# Usage: release-packages.sh EPOCH   (the files' times and the packages' build
# time: the last commit's, so the same tree gives the same packages)
set -euo pipefail

epoch=${1:?usage: release-packages.sh EPOCH}
export SOURCE_DATE_EPOCH=$epoch
out=/out/packages
widths=(x64 x86)
rm -rf "$out"
mkdir -p "$out"

say() { echo "release-packages: $*" >&2; }

# The one field cpack leaves out; the rest of the package stays as cpack made
# it, but for the files' times.
add_multiarch() {
  local deb=$1 tree
  tree=$(mktemp -d)
  chmod 755 "$tree"
  dpkg-deb --raw-extract "$deb" "$tree"
  sed -i '/^Architecture:/a Multi-Arch: same' "$tree/DEBIAN/control"
  find "$tree" -exec touch --no-dereference --date="@$epoch" {} +
  dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" >/dev/null
  rm -rf "$tree"
}

# "name version-constraint" a line, one for each package of a Depends field
# (the first of alternatives).
depends_lines() {
  tr ',' '\n' | sed 's/|.*//; s/^ *//; s/ *$//' | sed -n 's/^\([^ (]*\) *(\?\([^)]*\))\?$/\1 \2/p' | sort
}

# What dpkg-shlibdeps finds the programs need, as a Depends field.
needed_depends() {
  local tree
  tree=$(mktemp -d)
  mkdir "$tree/debian"
  printf 'Source: wedgesim\n\nPackage: wedgesim\nArchitecture: any\n' >"$tree/debian/control"
  local found
  found=$(cd "$tree" && dpkg-shlibdeps -O "$@" 2>"$tree/errors") ||
    { say "dpkg-shlibdeps failed: $(cat "$tree/errors")"; rm -rf "$tree"; return 1; }
  sed -n 's/^shlibs:Depends=//p' <<<"$found"
  rm -rf "$tree"
}

# True when every package dpkg-shlibdeps names is declared, no other one is,
# and no declared version is older than the one it asks for.
check_depends() {
  local deb=$1 declared needed problems=()
  shift
  declared=$(dpkg-deb --field "$deb" Depends | depends_lines)
  needed=$(needed_depends "$@" | depends_lines)
  local name constraint version ours
  while read -r name constraint; do
    ours=$(awk -v n="$name" '$1 == n { $1 = ""; print substr($0, 2) }' <<<"$declared")
    if ! grep -q "^$name\( \|$\)" <<<"$declared"; then
      problems+=("needs $name${constraint:+ ($constraint)}, which is not declared")
    elif [ -n "$constraint" ]; then
      version=${constraint#>= }
      if [ -z "$ours" ] || ! dpkg --compare-versions "${ours#>= }" ge "$version"; then
        problems+=("declares $name${ours:+ ($ours)}, but needs $name ($constraint)")
      fi
    fi
  done <<<"$needed"
  while read -r name constraint; do
    grep -q "^$name\( \|$\)" <<<"$needed" || problems+=("declares $name, which nothing needs")
  done <<<"$declared"
  if [ ${#problems[@]} -gt 0 ]; then
    say "$(basename "$deb"): dpkg-shlibdeps finds: $(needed_depends "$@")"
    printf '  %s\n' "${problems[@]}" >&2
    return 1
  fi
}

for width in "${widths[@]}"; do
  echo "== packages: $width"
  (cd "/out/$width" && cpack -G "DEB;RPM" -B "$out/$width") >"$out/$width.cpack.log" 2>&1 ||
    { tail -30 "$out/$width.cpack.log"; exit 1; }
  mv "$out/$width"/*.deb "$out/$width"/*.rpm "$out/"
  rm -rf "${out:?}/$width"
done

status=0
declare -A width_of=([amd64]=x64 [i386]=x86)
for deb in "$out"/*.deb; do
  add_multiarch "$deb"
  width=${width_of[$(dpkg-deb --field "$deb" Architecture)]}
  check_depends "$deb" "/out/$width"/libwedgesim*.so "/out/$width/wedgesim" || status=1
done
exit $status
