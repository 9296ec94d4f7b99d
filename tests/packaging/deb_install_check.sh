#!/usr/bin/env bash
# Installs the Debian package of a build on this machine as a user installs
# it, checks where its files went, lets an unprivileged user's host, started
# the way a browser starts it, answer a request from the installed files, runs
# lintian on the package and removes the package again (purging its files
# under /etc). Run as root on Debian 12; not part of ctest, since it changes
# the system while it runs.
# Usage: tests/packaging/deb_install_check.sh <build dir>
set -euo pipefail
build=$(realpath "${1:?usage: $0 <build dir>}")
here=$(dirname "$(realpath "$0")")
package=zorva-plugin
program=/opt/$package/plugin
work=$(mktemp -d)
cleanup() {
  apt-get remove -y "$package" >/dev/null 2>&1 || true
  dpkg --purge "$package" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
deb=$(basename "$work"/*.deb)
echo "== apt-get install ./$deb"
(cd "$work" && apt-get install -y "./$deb")

echo "== dpkg -L $package"
dpkg -L "$package" | tee "$work/files"
for file in "$program" /opt/$package/config.json /opt/$package/style.css \
  /opt/$package/modules/libnmhmodule.so /opt/$package/modules/libwsmodule.so \
  /opt/$package/modules/libsystemmodule.so \
  /etc/chromium/native-messaging-hosts/org.zorva.plugin.json \
  /etc/opt/chrome/native-messaging-hosts/org.zorva.plugin.json \
  /usr/lib/mozilla/native-messaging-hosts/org.zorva.plugin.json \
  "/usr/share/mozilla/extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/plugin@zorva.org.xpi" \
  /usr/share/$package/extension/manifest.json /etc/xdg/autostart/$package.desktop; do
  grep -qx "$file" "$work/files" || { echo "FAIL: $file not installed"; exit 1; }
done

echo "== the installed host, started for user nobody as Chromium starts it"
home=$work/home
chmod 0755 "$work"
mkdir -p "$home/runtime"
chmod 0700 "$home/runtime"
chown -R nobody:nogroup "$home"
origin=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["allowed_origins"][0])' \
  /etc/chromium/native-messaging-hosts/org.zorva.plugin.json)
HOME=$home XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=offscreen \
  /usr/bin/python3 - "$program" "$origin" "$here/../modules/nmh/e2e" <<'PYTHON'
import json, os, subprocess, sys, tempfile
sys.path.insert(0, sys.argv[3])
from nmhhost import FrameReader, frame, request
env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_DATA")}
with tempfile.TemporaryFile() as stderr:
    host = subprocess.Popen(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                             sys.argv[1], sys.argv[2]], env=env, cwd="/",
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr)
    reader = FrameReader(host.stdout)
    host.stdin.write(frame(request("echo", "installed")))
    host.stdin.close()
    code = host.wait(60)
    reader.join(60)
    stderr.seek(0)
    log = stderr.read().decode()
assert code == 0 and not reader.frames.empty(), log
assert json.loads(reader.frames.get())["method"]["result"] == "installed", log
assert "core: finish" in log and reader.stray == b"", log
print([line for line in log.splitlines() if "paths:" in line][0])
PYTHON
logs=$home/.local/share/$package/logs
ls "$logs"/*.log >/dev/null || { echo "FAIL: no log in $logs"; exit 1; }
echo "data directory: $(dirname "$logs"), owned by $(stat -c %U "$logs")"

echo "== lintian"
lintian --version
lintian --display-info --show-overrides "$work/$deb" || true

echo "== apt-get remove -y $package"
apt-get remove -y "$package"
dpkg --purge "$package"
[ ! -e /opt/$package ] || { echo "FAIL: /opt/$package left behind"; exit 1; }
echo "PASS"
