#!/usr/bin/env bash
# Builds the Debian packages from a build directory, unpacks them, checks that
# apt can satisfy their declared dependencies, and starts the window's program
# (offscreen), the command-line front end and the report server from the
# unpacked files.
set -euo pipefail
build=${1:?usage: check-package.sh BUILD_DIR}
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/viviv-testprogramm_*.deb | head -1)
server_deb=$(ls -t "$build"/viviv-reportserver_*.deb | head -1)
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

# The report server's package: its files, its dependencies, Debian's check,
# and the program answering the readiness query from the unpacked files.
echo "package: $(basename "$server_deb") ($(du -k "$server_deb" | cut -f1) KiB)"
echo "depends: $(dpkg-deb -f "$server_deb" Depends)"
apt-get -s install "$server_deb" >/dev/null 2>"$root/apt.err" || { cat "$root/apt.err"; exit 1; }
server_root="$root/server"
dpkg-deb -x "$server_deb" "$server_root"
for f in usr/bin/viviv-reportserver lib/systemd/system/viviv-reportserver.service \
         usr/share/doc/viviv-reportserver/copyright usr/share/doc/viviv-reportserver/changelog.gz \
         usr/share/man/man1/viviv-reportserver.1.gz; do
  [ -e "$server_root/$f" ] || { echo "missing in package: $f"; exit 1; }
done
dpkg-deb -e "$server_deb" "$root/control"
[ -x "$root/control/postinst" ] || { echo "missing in package: postinst"; exit 1; }
status=0
report=$(lintian --fail-on error --tag-display-limit 0 "$server_deb" 2>&1) || status=$?
echo "$report" | grep -v 'running with root privileges' || true
[ "$status" -eq 0 ] || { echo "lintian found errors in the report server's package"; exit 1; }
(cd "$root" && exec "$server_root/usr/bin/viviv-reportserver" --listen 127.0.0.1 --port 0 --web-port 0 >"$root/server.log" 2>&1) &
pid=$!
for _ in $(seq 50); do grep -q '^listening on' "$root/server.log" && break; sleep 0.2; done
port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$root/server.log")
kill "$pid"; wait "$pid" 2>/dev/null || true
[ -n "$port" ] && [ -e "$root/berichte.sqlite" ] || { echo "viviv-reportserver did not start"; cat "$root/server.log"; exit 1; }

if [ -x "$root/usr/bin/viviv-cli" ]; then
  "$root/usr/bin/viviv-cli" --version
fi
echo "package check: ok"
