#!/usr/bin/env bash
# Makes the Debian package from a finished build, unpacks it into a scratch root, runs what it
# installed (the tool's help and version, the simulator writing a package the tool accepts) and
# has lintian check it for errors.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/verup_*.deb)
dpkg-deb -x "$deb" "$scratch/root"
bin=$scratch/root/usr/bin

"$bin/verup" --help | grep -q '^Usage: verup'
version=$(dpkg-deb -f "$deb" Version)
[ "$("$bin/verup" --version)" = "$version" ] || { echo "verup --version is not the package's $version"; exit 1; }
"$bin/verup-devsim" make-package "$scratch/pkg" >/dev/null
"$bin/verup" -C "$scratch/pkg" images >/dev/null

for page in verup verup-devsim; do
  zcat "$scratch/root/usr/share/man/man1/$page.1.gz" | grep -q '^\.SH DESCRIPTION' ||
    { echo "the man page of $page is missing or empty"; exit 1; }
done
if [ -x "$bin/verup-gui" ]; then
  [ -f "$scratch/root/usr/share/applications/verup-gui.desktop" ] || { echo "no desktop entry"; exit 1; }
  [ -f "$scratch/root/usr/share/man/man1/verup-gui.1.gz" ] || { echo "no man page for verup-gui"; exit 1; }
fi
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || { echo "the dependencies were not computed"; exit 1; }

lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || { echo "lintian found errors"; exit 1; }
echo "package $version checked"
