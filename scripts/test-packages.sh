#!/usr/bin/env bash
# Tests the release's .deb and .rpm packages (scripts/release.sh makes them in
# dist/) as a distribution's user gets them:
#   - dist/SHA256SUMS verifies the archive and every package;
#   - each package holds exactly its layout's files (cmake/Install.cmake), the
#     library 0644 and the command 0755 with the very bytes of the archive's,
#     and the documents and completions the same bytes in all four packages;
#     fish and zsh complete both commands from the .deb's files;
#   - each .deb says its version, architecture, Multi-Arch: same and its
#     dependencies; each .rpm passes rpm -K, requires no library the archive's
#     programs do not need and no glibc newer than 2.17, and installs with
#     rpm --root into an empty tree (both widths side by side), where both
#     commands run and find their libraries, and rpm -e takes it all away;
#   - the .deb packages install with apt into the Debian 11 release root and
#     into a plain Debian 12 root, where the commands, manual pages and
#     completions work and the contract and X11 suites pass against the
#     installed libraries, and remove without a trace
#     (scripts/test-packages-root.sh).
# The suites it runs in the roots are those built in the release root (built
# here if scripts/test-release.sh has not built them yet). The Debian 12 root
# is made once, in build/package-root (scripts/release-root.sh).
#
# Usage: scripts/test-packages.sh   (after scripts/release.sh; scripts/test.sh
#        runs it after scripts/test-release.sh)
# Exit status: 0 passed, 1 failed, 3 a root cannot be made here (said why).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/release-root.sh

release_root_lock
status=0
started=$(date +%s)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

say() { echo "test-packages: $*"; }
fail() {
  say "FAIL: $*"
  status=1
}
elapsed() { echo "$(($(date +%s) - $1)) s"; }

out=build/release
version=$(cat "$out/x64/release-version")
release=$(sed -n 's/^WEDGESIM_PACKAGE_RELEASE:STRING=//p' "$out/x64/CMakeCache.txt")
name=wedgesim-$version-linux-x86
archive=$out/shipped/$name
declare -A deb=([x64]=wedgesim_$version-${release}_amd64.deb [x86]=wedgesim_$version-${release}_i386.deb)
declare -A rpm=([x64]=wedgesim-$version-$release.x86_64.rpm [x86]=wedgesim-$version-$release.i686.rpm)
declare -A archive_dir=([x64]=x86-64 [x86]=x86)
declare -A library=([x64]=libwedgesim64.so [x86]=libwedgesim32.so)
declare -A command=([x64]=wedgesim [x86]=wedgesim32)
declare -A deb_dir=([x64]=usr/lib/x86_64-linux-gnu/wedgesim [x86]=usr/lib/i386-linux-gnu/wedgesim)
declare -A rpm_dir=([x64]=usr/lib64/wedgesim [x86]=usr/lib/wedgesim)
declare -A zsh_dir=([deb]=usr/share/zsh/vendor-completions [rpm]=usr/share/zsh/site-functions)

# Debian's rpm warns before every install that dpkg does not see it.
rpm_() {
  command rpm "$@" 2> >(grep -v -e 'should not be used directly' -e 'assuming you know' >&2)
}

echo "== the packages as a user gets them"
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "dist/SHA256SUMS does not verify"
for width in x64 x86; do
  for file in "${deb[$width]}" "${rpm[$width]}"; do
    grep -q " $file\$" dist/SHA256SUMS || fail "dist/SHA256SUMS does not list $file"
  done
done
say "dist/SHA256SUMS verifies the archive and the four packages"
# The archive's own files, to compare the packages' with.
rm -rf "$archive"
mkdir -p "$out/shipped"
tar -xzf "dist/$name.tar.gz" -C "$out/shipped"
# dist/ holds what the last successful release made: it must be this build's.
for width in x64 x86; do
  for program in "${library[$width]}" wedgesim; do
    cmp -s "$archive/${archive_dir[$width]}/$program" "$out/$width/$program" || {
      fail "dist/ is not the release build's ($out/$width/$program differs): did scripts/release.sh fail?"
      exit 1
    }
  done
done

# The files (not folders) a layout holds, one path a line.
expected_files() {
  local format=$1 width=$2 dir
  [ "$format" = deb ] && dir=${deb_dir[$width]} || dir=${rpm_dir[$width]}
  {
    echo "usr/bin/${command[$width]}"
    echo "$dir/${library[$width]}"
    echo "$dir/wedgesim"
    echo usr/share/bash-completion/completions/wedgesim
    echo usr/share/doc/wedgesim/README.md.gz
    echo usr/share/doc/wedgesim/copyright
    echo usr/share/fish/vendor_completions.d/wedgesim.fish
    echo usr/share/man/man1/wedgesim.1.gz
    echo "${zsh_dir[$format]}/_wedgesim"
    if [ "$width" = x86 ]; then
      echo usr/share/bash-completion/completions/wedgesim32
      echo usr/share/fish/vendor_completions.d/wedgesim32.fish
      echo usr/share/man/man1/wedgesim32.1.gz
    fi
  } | LC_ALL=C sort
}

# Checks one unpacked package's files against its layout and the archive.
check_files() {
  local format=$1 width=$2 tree=$3 label=$4 dir
  [ "$format" = deb ] && dir=${deb_dir[$width]} || dir=${rpm_dir[$width]}
  local found
  found=$(cd "$tree" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
  [ "$found" = "$(expected_files "$format" "$width")" ] ||
    fail "$label holds: $(tr '\n' ' ' <<<"$found")"
  cmp -s "$tree/$dir/${library[$width]}" "$archive/${archive_dir[$width]}/${library[$width]}" ||
    fail "$label: the library is not the archive's"
  cmp -s "$tree/$dir/wedgesim" "$archive/${archive_dir[$width]}/wedgesim" ||
    fail "$label: the command is not the archive's"
  [ "$(stat -c %a "$tree/$dir/${library[$width]}")" = 644 ] || fail "$label: the library is not 0644"
  [ "$(stat -c %a "$tree/$dir/wedgesim")" = 755 ] || fail "$label: the command is not 0755"
  [ "$(readlink -f "$tree/usr/bin/${command[$width]}")" = "$(readlink -f "$tree/$dir/wedgesim")" ] ||
    fail "$label: usr/bin/${command[$width]} does not lead to $dir/wedgesim"
  zcat "$tree/usr/share/man/man1/wedgesim.1.gz" | cmp -s - docs/wedgesim.1 ||
    fail "$label: the manual page is not docs/wedgesim.1"
  cmp -s "$tree/usr/share/doc/wedgesim/copyright" "$archive/copyright" ||
    fail "$label: the copyright file is not the archive's"
  cmp -s "$tree/usr/share/bash-completion/completions/wedgesim" completions/wedgesim.bash ||
    fail "$label: the bash completion is not completions/wedgesim.bash"
  # What both widths share must be the same bytes (else they conflict).
  (cd "$tree" && sha256sum usr/share/doc/wedgesim/* usr/share/man/man1/wedgesim.1.gz \
    usr/share/bash-completion/completions/wedgesim usr/share/fish/vendor_completions.d/wedgesim.fish \
    "${zsh_dir[$format]}/_wedgesim" | sed "s|${zsh_dir[$format]}|ZSH|") >"$scratch/shared.$label"
}

# The shells find the completions where the .deb puts them, under the name of
# each command: fish in a data folder's vendor_completions.d, zsh (whose fpath
# on Debian holds vendor-completions) by the #compdef line.
check_shells() {
  local width=$1 tree=$2 label=$3 name=${command[$1]} got
  got=$(cd "$scratch" && PATH=$tree/usr/bin:$PATH HOME=$scratch XDG_DATA_DIRS=$tree/usr/share \
    fish -c "complete -C '$name sc'" 2>&1 | cut -f1)
  [ "$got" = scan ] || fail "$label: fish completes '$name sc' as '$got'"
  got=$(HOME=$scratch zsh -fc "fpath=($tree/usr/share/zsh/vendor-completions \$fpath)
    autoload -Uz compinit && compinit -u -D && print \$_comps[$name]" 2>&1)
  [ "$got" = _wedgesim ] || fail "$label: zsh completes $name with '$got'"
}
fpath=$(zsh -fc 'print -l $fpath')
grep -qx /usr/share/zsh/vendor-completions <<<"$fpath" || fail "this zsh does not look in /usr/share/zsh/vendor-completions"

echo "== .deb"
for width in x64 x86; do
  file=dist/${deb[$width]}
  dpkg-deb --info "$file"
  dpkg-deb --contents "$file"
  arch=${deb[$width]##*_}
  for field in "Package:wedgesim" "Version:$version-$release" "Architecture:${arch%.deb}" "Multi-Arch:same"; do
    [ "$(dpkg-deb --field "$file" "${field%%:*}")" = "${field#*:}" ] ||
      fail "${deb[$width]}: ${field%%:*} is '$(dpkg-deb --field "$file" "${field%%:*}")', not '${field#*:}'"
  done
  tree=$scratch/deb-$width
  dpkg-deb --extract "$file" "$tree"
  check_files deb "$width" "$tree" "${deb[$width]}"
  check_shells "$width" "$tree" "${deb[$width]}"
done

echo "== .rpm"
for width in x64 x86; do
  file=dist/${rpm[$width]}
  rpm_ -qpi "$file"
  rpm_ -qpl "$file"
  requires=$(rpm_ -qpR "$file")
  echo "Requires:"
  sed 's/^/  /' <<<"$requires"
  checked=$(rpm_ -K "$file" 2>&1) || true
  [[ $checked == *": digests OK" ]] || fail "rpm -K ${rpm[$width]}: $checked"
  # Every library it requires is one the archive's programs need, and no
  # glibc symbol version newer than 2.17.
  needed=" $(for program in "${library[$width]}" wedgesim; do
    readelf --dynamic --wide "$archive/${archive_dir[$width]}/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
  done | sort -u | tr '\n' ' ')"
  while read -r requirement; do
    case $requirement in
      rpmlib\(*\)* | 'rtld(GNU_HASH)') continue ;;
    esac
    soname=${requirement%%(*}
    [[ $needed == *" $soname "* ]] || { fail "${rpm[$width]} requires $requirement, which the archive does not need"; continue; }
    if [[ $requirement =~ \(GLIBC_([0-9.]+)\) ]] &&
        [ "$(printf '%s\n2.17\n' "${BASH_REMATCH[1]}" | sort -V | tail -1)" != 2.17 ]; then
      fail "${rpm[$width]} requires $requirement, newer than glibc 2.17"
    fi
  done <<<"$requires"
  grep -q '^libX11\.so\.6' <<<"$requires" ||
    fail "${rpm[$width]} does not require libX11.so.6: were its requirements found?"
done

say "installing both .rpm packages into an empty tree"
tree=$scratch/rpm-root
mkdir -p "$tree"
rpm_ --root "$tree" --dbpath /var/lib/rpm --initdb
(cd "$tree" && find . | LC_ALL=C sort) >"$scratch/rpm-root.before"
rpm_ --root "$tree" --dbpath /var/lib/rpm -i --nodeps "dist/${rpm[x64]}" "dist/${rpm[x86]}" ||
  fail "rpm --root could not install both widths side by side"
for width in x64 x86; do
  # The tree holds both widths; each package's own files are checked alone.
  single=$scratch/rpm-$width
  mkdir -p "$single"
  rpm_ -qpl "dist/${rpm[$width]}" | while read -r path; do
    [ -d "$tree$path" ] && [ ! -L "$tree$path" ] && continue
    mkdir -p "$single$(dirname "$path")"
    cp -a "$tree$path" "$single$path"
  done
  check_files rpm "$width" "$single" "${rpm[$width]}"
done
# The installed commands run and find their libraries where the package put them.
emulator=$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[^=]*=//p' "$out/x86/CMakeCache.txt" 2>/dev/null || true)
for width in x64 x86; do
  run=()
  [ "$width" = x86 ] && [ -n "$emulator" ] && run=("$(command -v qemu-i386 || echo qemu-i386)")
  shown=$("${run[@]}" "$tree/usr/bin/${command[$width]}" --version 2>&1) || true
  [[ $shown == *"$version"* ]] || fail "the .rpm's ${command[$width]} --version: $shown"
done
rpm_ --root "$tree" --dbpath /var/lib/rpm -e wedgesim.x86_64 wedgesim.i686 || fail "rpm -e failed"
# Only the folders the packages share with the system (/usr, /usr/lib...) may stay.
owned=$(for width in x64 x86; do rpm_ -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "dist/${rpm[$width]}"; done |
  awk '{ print $2 }' | sort -u)
left=$( (cd "$tree" && find . | LC_ALL=C sort) | comm -13 "$scratch/rpm-root.before" - |
  sed 's|^\.||; \|^/var/lib/rpm/|d' | while read -r path; do
    if [ ! -d "$tree$path" ] || grep -qx "$path" <<<"$owned"; then echo "$path"; fi
  done)
[ -z "$left" ] || fail "rpm -e left: $(tr '\n' ' ' <<<"$left")"

shared=$(sha256sum "$scratch"/shared.* | awk '{ print $1 }' | sort -u | wc -l)
[ "$shared" -eq 1 ] || { fail "the four packages' shared files differ:"; head -50 "$scratch"/shared.*; }
say "the packages hold their layouts, the archive's programs, and the same shared files ($(elapsed "$started"))"

echo "== .deb in the Debian 11 release root"
phase=$(date +%s)
release_root_ensure || exit
release_root_run bash /src/scripts/release-build.sh suites || exit 1
release_root_run bash /src/scripts/test-packages-root.sh --cmake-install || status=1
say "Debian 11: $(elapsed "$phase")"

echo "== .deb in Debian 12"
phase=$(date +%s)
release_root_use bookworm
made=0
release_root_ready || made=1
release_root_ensure || exit
[ $made -eq 0 ] || say "made the Debian 12 root in $(elapsed "$phase")"
release_root_run bash /src/scripts/test-packages-root.sh || status=1
say "Debian 12: $(elapsed "$phase")"

say "done in $(elapsed "$started")"
exit $status
