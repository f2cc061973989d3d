#!/usr/bin/env bash
# Runs inside a Debian root (scripts/test-packages.sh enters the release root
# and the plain Debian 12 one): installs the release's .deb packages of both
# widths with apt, as a user does, and checks what a user gets:
#   - apt installs the two packages and nothing else (their dependencies are
#     in the root already), side by side;
#   - wedgesim --version and wedgesim32 --version say the packages' version;
#     each command is a link to the program beside its library;
#   - man -w finds both manual pages; bash completes both commands from the
#     files bash-completion loads for them; zsh's and fish's files are there;
#   - the contract and X11 suites (built in the release root, in /out/x64 and
#     /out/x86) pass against the installed libraries;
#   - removing the 32-bit package keeps the 64-bit one whole (their shared
#     files are counted by dpkg, not lost), and the 32-bit one alone is whole;
#   - apt-get remove --purge leaves the root's files and packages exactly as
#     they were before the install.
#
# Usage: test-packages-root.sh [--cmake-install]
#   --cmake-install  also checks `cmake --install` of the build in /out (the
#                    release root only: it has the build's CMake)
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
packages=/out/packages
declare -A deb=() library=() command=()
deb[x64]=$(ls "$packages"/wedgesim_*_amd64.deb)
deb[x86]=$(ls "$packages"/wedgesim_*_i386.deb)
library[x64]=/usr/lib/x86_64-linux-gnu/wedgesim/libwedgesim64.so
library[x86]=/usr/lib/i386-linux-gnu/wedgesim/libwedgesim32.so
command[x64]=wedgesim
command[x86]=wedgesim32
version=$(dpkg-deb --field "${deb[x64]}" Version)
jobs=$(nproc)
status=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

say() { echo "test-packages: $*"; }
fail() {
  say "FAIL: $*"
  status=1
}

# Every file, link and folder of the root, but what is not the root's own
# (the mounts, the host's /tmp) and the records apt, dpkg and man-db keep
# (logs, caches, package lists and status); dpkg's per-package lists are kept,
# as a package's leftovers would be there.
tree_files() {
  find / \( -path /proc -o -path /sys -o -path /dev -o -path /tmp -o -path /run -o -path /src \
    -o -path /out -o -path /var/log -o -path /var/cache -o -path /var/lib/apt \
    -o -path /var/lib/dpkg \) -prune -o -printf '%y %p\n' | LC_ALL=C sort
  find /var/lib/dpkg/info -printf '%y %p\n' | LC_ALL=C sort
}
installed_packages() { dpkg-query -W -f='${binary:Package} ${Version} ${db:Status-Abbrev}\n' | LC_ALL=C sort; }

apt_get() { apt-get -q -y -o Dpkg::Use-Pty=0 "$@" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; return 1; }; }

# A run that stopped half way leaves the packages installed: take them away
# first, so that "before" is the root without them.
mapfile -t leftovers < <(dpkg-query -W -f='${binary:Package} ${db:Status-Abbrev}\n' 'wedgesim*' 2>/dev/null |
  awk '$2 != "un" { print $1 }')
[ ${#leftovers[@]} -eq 0 ] ||
  { say "removing a previous run's ${leftovers[*]}"; apt_get remove --purge "${leftovers[@]}"; }

say "Debian $(cat /etc/debian_version): installing $(basename "${deb[x64]}") and $(basename "${deb[x86]}")"
tree_files >"$scratch/files.before"
installed_packages >"$scratch/packages.before"
apt_get install "${deb[x64]}" "${deb[x86]}"
added=$(comm -13 "$scratch/packages.before" <(installed_packages) | awk '{ print $1 }' | tr '\n' ' ')
[ "$added" = "wedgesim:amd64 wedgesim:i386 " ] || fail "apt installed: $added(expected wedgesim:amd64 and wedgesim:i386 only)"

checks() {
  local width name
  for width in "$@"; do
    name=${command[$width]}
    local shown
    shown=$("$name" --version 2>&1) || fail "$name --version: $shown"
    [[ $shown == *"${version%-*}"* ]] || fail "$name --version says '$shown', the package is $version"
    [ "$(readlink -f "/usr/bin/$name")" = "$(dirname "${library[$width]}")/wedgesim" ] ||
      fail "/usr/bin/$name leads to $(readlink -f "/usr/bin/$name"), not the program beside ${library[$width]}"
    # (man-db names the page a link leads to: wedgesim32's is wedgesim's.)
    [ "$(man -w "$name" 2>&1)" = /usr/share/man/man1/wedgesim.1.gz ] &&
      [ "$(readlink -f "/usr/share/man/man1/$name.1.gz")" = /usr/share/man/man1/wedgesim.1.gz ] ||
      fail "man -w $name: $(man -w "$name" 2>&1)"
    # What bash-completion loads for the command's name, and what it completes.
    local completed
    completed=$(bash -c '. "/usr/share/bash-completion/completions/$1"; COMP_WORDS=("$1" sc); COMP_CWORD=1
      complete -p "$1" >/dev/null && _wedgesim && echo "${COMPREPLY[*]}"' - "$name" 2>&1) || true
    [ "$completed" = scan ] || fail "bash completes '$name sc' as '$completed'"
  done
  [ -f /usr/share/zsh/vendor-completions/_wedgesim ] || fail "no zsh completion"
  [ -f /usr/share/fish/vendor_completions.d/wedgesim.fish ] || fail "no fish completion"
}
checks x64 x86
[ -f /usr/share/fish/vendor_completions.d/wedgesim32.fish ] || fail "no fish completion for wedgesim32"
say "$(wedgesim --version 2>&1 | head -1): wedgesim, wedgesim32, their page and completions are in place"

# The suites start programs and X servers of their own; their files go to a
# scratch home, not the root's (Xvfb's GL keeps a cache in the user's home
# unless XDG_CACHE_HOME says otherwise).
suite=(-L 'contract|x11' --timeout 180 --output-on-failure)
for width in x64 x86; do
  say "contract and X11 suites against ${library[$width]}"
  (cd "/out/$width" && HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache \
    WEDGESIM_TEST_LIBRARY=${library[$width]} ctest "${suite[@]}" -j $((jobs + 2)) >"$scratch/ctest.log" 2>&1) ||
    { cat "$scratch/ctest.log"; fail "the suites failed against ${library[$width]}"; }
  grep -E '^[0-9]+% tests passed|^Total Test time' "$scratch/ctest.log" | sed 's/^/  /'
done

say "removing the 32-bit package; the 64-bit one stays whole"
apt_get remove --purge wedgesim:i386
for path in /usr/bin/wedgesim32 "${library[x86]}" /usr/share/man/man1/wedgesim32.1.gz; do
  [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is still there"
done
checks x64

if [ "${1:-}" = --cmake-install ]; then
  say "cmake --install of the release build"
  for width in x64 x86; do
    DESTDIR=$scratch/install cmake --install "/out/$width" --prefix /usr/local >/dev/null
  done
  local_dir=$scratch/install/usr/local
  expected="bin/wedgesim bin/wedgesim32 lib/wedgesim/x86-64/libwedgesim64.so lib/wedgesim/x86-64/wedgesim
lib/wedgesim/x86/libwedgesim32.so lib/wedgesim/x86/wedgesim share/bash-completion/completions/wedgesim
share/bash-completion/completions/wedgesim32 share/doc/wedgesim/README.md.gz share/doc/wedgesim/copyright
share/fish/vendor_completions.d/wedgesim.fish share/fish/vendor_completions.d/wedgesim32.fish
share/man/man1/wedgesim.1.gz share/man/man1/wedgesim32.1.gz share/zsh/site-functions/_wedgesim"
  found=$(cd "$local_dir" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
  [ "$found" = "$(tr ' ' '\n' <<<"$expected" | LC_ALL=C sort)" ] || fail "cmake --install put: $found"
  for name in wedgesim wedgesim32; do
    shown=$("$local_dir/bin/$name" --version 2>&1) || true
    [[ $shown == *"${version%-*}"* ]] || fail "the installed $name --version: $shown"
  done
fi

# The root's files and packages must be those before the install.
compare_with_before() {
  tree_files >"$scratch/files.after"
  installed_packages >"$scratch/packages.after"
  if ! diff -u "$scratch/files.before" "$scratch/files.after" >"$scratch/files.diff"; then
    fail "the root's files after $1 are not those before the install:"
    grep '^[-+][^-+]' "$scratch/files.diff" | head -40
  fi
  diff -u "$scratch/packages.before" "$scratch/packages.after" || fail "the root's packages changed"
}

say "removing the 64-bit package"
apt_get remove --purge wedgesim:amd64
compare_with_before "removing both packages"

say "the 32-bit package alone"
apt_get install "${deb[x86]}"
checks x86
apt_get remove --purge wedgesim:i386
compare_with_before "removing the 32-bit package"
[ $status -ne 0 ] || say "ok: the root is as it was ($(wc -l <"$scratch/files.after") files and folders compared)"
exit $status
