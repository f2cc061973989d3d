#!/usr/bin/env bash
# Builds the release: both libraries and the `wedgesim` command in both widths,
# linked in a Debian 11 root (scripts/release-root.sh) so that they load on
# every x86 and x86-64 Linux with glibc 2.17 or later, checked by the
# portability gate, and packed with the README, the manual page, the shell
# completions, the copyright file and a SHA256SUMS into
#   dist/wedgesim-<version>-linux-x86.tar.gz
# and, from the same build, into a .deb and an .rpm of each width
# (scripts/release-packages.sh):
#   dist/wedgesim_<version>-1_amd64.deb  dist/wedgesim_<version>-1_i386.deb
#   dist/wedgesim-<version>-1.x86_64.rpm dist/wedgesim-<version>-1.i686.rpm
# with dist/SHA256SUMS over the archive and the packages.
# Run as root (it makes and enters the root). The first run makes the root (a
# few minutes, from Debian's package registry); later runs only rebuild.
# Exit status: 0 done, 1 the build or the gate failed, 3 the root cannot be made
# here (not root, no network).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/release-root.sh

release_root_can_make || exit
release_root_lock
release_root_ensure || exit
release_root_run bash /src/scripts/release-build.sh

out=build/release
version=$(cat "$out/x64/release-version")
name=wedgesim-$version-linux-x86

# Where each width's files go in the archive: the command finds the library
# beside it, so each width keeps its own folder.
layout=(x64:x86-64/libwedgesim64.so x64:x86-64/wedgesim x86:x86/libwedgesim32.so x86:x86/wedgesim)

echo "== portability gate"
bash scripts/check-portability.sh "$out/x64/libwedgesim64.so" "$out/x86/libwedgesim32.so" \
  --command "$out/x64/wedgesim" "$out/x86/wedgesim"

echo "== archive"
stage=$out/package/$name
rm -rf "$out/package"
for entry in "${layout[@]}"; do
  width=${entry%%:*}
  file=${entry#*:}
  install -D -m 755 "$out/$width/$(basename "$file")" "$stage/$file"
done
install -m 644 README.md "$stage/README.md"
install -m 644 "$out/x64/docs/copyright" "$stage/copyright"
install -D -m 644 docs/wedgesim.1 "$stage/man/wedgesim.1"
for file in completions/wedgesim.bash completions/_wedgesim completions/wedgesim.fish; do
  install -D -m 644 "$file" "$stage/$file"
done
sums=$(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum)
printf '%s\n' "$sums" >"$stage/SHA256SUMS"
# The same files give the same archive: fixed owners, order and times.
epoch=$(git log -1 --format=%ct 2>/dev/null || date +%s)
mkdir -p dist
tar --create --file=- --directory="$out/package" --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$epoch" "$name" | gzip -9 -n >"dist/$name.tar.gz"
(cd dist && sha256sum "$name.tar.gz" >"$name.tar.gz.sha256")

echo "== packages"
release_root_run bash /src/scripts/release-packages.sh "$epoch"
packages=()
for file in "$out"/packages/*.deb "$out"/packages/*.rpm; do
  cp "$file" dist/
  packages+=("$(basename "$file")")
done
(cd dist && sha256sum "$name.tar.gz" "${packages[@]}" >SHA256SUMS)

echo "== release $version"
printf '  %-40s %10s  %s\n' file bytes "needs at most"
for entry in "${layout[@]}" README.md copyright SHA256SUMS; do
  file=${entry#*:}
  needs=""
  case $file in
    *.so | */wedgesim) needs=$(bash scripts/check-portability.sh --newest-glibc "$stage/$file" | awk '{ print $2 }') ;;
  esac
  printf '  %-40s %10s  %s\n' "$file" "$(stat -c %s "$stage/$file")" "$needs"
done
for file in "$name.tar.gz" "${packages[@]}"; do
  printf '  %-40s %10s\n' "dist/$file" "$(stat -c %s "dist/$file")"
done
