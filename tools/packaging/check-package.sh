#!/usr/bin/env bash
# Builds the Debian package from a build directory, unpacks it, checks that
# apt can satisfy its declared dependencies, and starts the window's program
# (offscreen) and the command-line front end from the unpacked files.
set -euo pipefail
build=${1:?usage: check-package.sh BUILD_DIR}
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/viviv-testprogramm_*.deb | head -1)
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
echo "depends: $(dpkg-deb -f "$deb" Depends)"
apt-get -s install "$deb" >/dev/null 2>"$root/apt.err" || { cat "$root/apt.err"; exit 1; }

for f in usr/bin/viviv-testprogramm usr/share/applications/viviv-testprogramm.desktop \
         usr/share/pixmaps/viviv-testprogramm.png usr/share/doc/viviv-testprogramm/copyright \
         usr/share/doc/viviv-testprogramm/changelog.gz usr/share/man/man1/viviv-testprogramm.1.gz \
         usr/share/man/man1/viviv-cli.1.gz usr/share/man/man1/viviv-demo.1.gz usr/share/man/man1/viviv-metersim.1.gz; do
  [ -e "$root/$f" ] || { echo "missing in package: $f"; exit 1; }
done

# The window's program: it must come up and stay up until the check closes it.
QT_QPA_PLATFORM=offscreen "$root/usr/bin/viviv-testprogramm" >/dev/null 2>&1 &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || { echo "viviv-testprogramm did not stay up"; exit 1; }
kill "$pid"; wait "$pid" 2>/dev/null || true

# Debian's own package check: errors fail, warnings are shown.
status=0
report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || status=$?
echo "$report" | grep -v 'running with root privileges' || true
[ "$status" -eq 0 ] || { echo "lintian found errors"; exit 1; }

if [ -x "$root/usr/bin/viviv-cli" ]; then
  "$root/usr/bin/viviv-cli" --version
fi
echo "package check: ok"
