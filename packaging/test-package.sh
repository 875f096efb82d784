#!/usr/bin/env bash
# Packs a configured Release build (prefix /usr) as a Debian package, checks it with lintian,
# installs it, starts the installed program on its empty database under Xvfb and checks that its
# window appears, then checks that an upgrade, a removal and a reinstall keep the customers and
# that a purge deletes the database. Needs root; leaves korvela purged. Usage: BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
out="$build/packages"
user=korvelaci
data=/var/lib/korvela
export DEBIAN_FRONTEND=noninteractive

fail() {
    echo "package test: $*" >&2
    exit 1
}

# Packs the build as Debian revision $1 and prints the package's path.
pack() {
    cmake "$build" -DKORVELA_PACKAGE_RELEASE="$1" >/dev/null
    cmake --build "$build" -j"$(nproc)" >/dev/null
    rm -rf "$out/$1"
    mkdir -p "$out/$1"
    (cd "$build" && cpack -G DEB -B "$out/$1" >/dev/null)
    ls "$out/$1"/korvela_*.deb
}

customers() {
    sqlite3 "$data/Korvela.mdb" "select count(*) from t_musteri"
}

if dpkg -s korvela >/dev/null 2>&1; then
    apt-get purge -y korvela >/dev/null
fi
rm -rf "$data"

first="$(pack 1)"
echo "package test: $first"
dpkg-deb -I "$first"

# lintian: errors fail the build; warnings are listed.
lintian --fail-on error "$first"
# The program opens libpq only when a server is named, so the library scan cannot see it there;
# the package must still bring it.
dpkg-deb -f "$first" Depends | grep -q 'libpq5' || fail "the package does not depend on libpq5"
desktop-file-validate packaging/korvela.desktop

# A first install makes an empty database, writable by the group korvela.
apt-get install -y "$first"
[ -f "$data/Korvela.mdb" ] || fail "no database after the first install"
[ "$(customers)" = 0 ] || fail "the first database is not empty"
[ "$(stat -c '%U:%G %a' "$data")" = "root:korvela 2775" ] || fail "database folder: $(stat -c '%U:%G %a' "$data")"
[ "$(stat -c '%U:%G %a' "$data/Korvela.mdb")" = "root:korvela 664" ] || fail "database: $(stat -c '%U:%G %a' "$data/Korvela.mdb")"
[ "$(readlink -f /usr/lib/korvela/Korvela.mdb)" = "$data/Korvela.mdb" ] || fail "no database beside the program"

# The installed program, started by a member of the group with the menu entry's command, shows
# its main window (and no error box) on the empty database.
id "$user" >/dev/null 2>&1 || useradd --create-home "$user"
adduser --quiet "$user" korvela
entry=/usr/share/applications/korvela.desktop
command="$(sed -n 's/^Exec=//p' "$entry")"
[ "$command" = korvela ] || fail "the menu entry runs '$command'"
runuser -u "$user" -- env HOME="/home/$user" COMMAND="$command" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    cd /
    $COMMAND &
    pid=$!
    window="$(timeout 30 xdotool search --sync --onlyvisible --name "^Korvela Takip\$" | head -n 1)"
    [ -n "$window" ] || { echo "no window named Korvela Takip appeared"; kill "$pid"; exit 1; }
    sleep 1
    windows="$(xdotool search --onlyvisible --name . | wc -l)"
    xwininfo -id "$window" | grep -E "Width|Height|Map State"
    width="$(xwininfo -id "$window" | sed -n "s/.*Width: //p")"
    kill "$pid"
    wait "$pid" || true
    [ "$width" -ge 600 ] || { echo "main window too narrow: $width"; exit 1; }
    [ "$windows" = 1 ] || { echo "$windows windows are open (an error box?)"; exit 1; }
    echo "package test: the installed program showed its main window"
'

# The settings file beside the program is the package's conffile in /etc. A Server line an
# administrator adds is read by the installed program: an unreachable server gives the error box
# (its caption is the program's file name, "korvela") instead of the empty database's window.
[ "$(readlink -f /usr/lib/korvela/Korvela.ini)" = /etc/korvela/Korvela.ini ] || fail "no settings file beside the program"
dpkg-query --control-show korvela conffiles | grep -qx /etc/korvela/Korvela.ini || fail "the settings file is no conffile"
grep -q '^\[Database\]' /etc/korvela/Korvela.ini && ! grep -q '^Server=' /etc/korvela/Korvela.ini ||
    fail "the shipped settings file names a server"
# (under [Database]: the file has later sections)
sed -i '/^\[Database\]/a Server=host=127.0.0.1 port=1 dbname=korvela connect_timeout=3' /etc/korvela/Korvela.ini
runuser -u "$user" -- env HOME="/home/$user" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    cd /
    korvela &
    pid=$!
    box="$(timeout 30 xdotool search --sync --onlyvisible --name "^korvela\$" | head -n 1)"
    kill "$pid"
    wait "$pid" || true
    [ -n "$box" ] || { echo "no error box for the unreachable server"; exit 1; }
    echo "package test: the installed program read the server from its settings file"
'

# A customer entered through the program's own path (the link beside it) by the group member.
runuser -u "$user" -- sqlite3 /usr/lib/korvela/Korvela.mdb \
    "insert into t_musteri (f_adi, f_arac_plaka) values ('Yükseltme Deneme', '34 YUK 2')"
[ "$(customers)" = 1 ] || fail "the customer was not written"

# A newer build installs over it and keeps the customer, the folder and their modes.
second="$(pack 2)"
apt-get install -y "$second"
[ "$(dpkg-query -W -f '${Version}' korvela)" = "$(dpkg-deb -f "$second" Version)" ] || fail "not upgraded"
[ "$(sqlite3 "$data/Korvela.mdb" "select f_adi from t_musteri")" = "Yükseltme Deneme" ] ||
    fail "the upgrade lost the customer"
[ "$(stat -c '%U:%G %a' "$data/Korvela.mdb")" = "root:korvela 664" ] || fail "the upgrade changed the database's mode"
grep -q '^Server=host=127.0.0.1 port=1 ' /etc/korvela/Korvela.ini || fail "the upgrade lost the administrator's settings"
sed -i '/^Server=/d' /etc/korvela/Korvela.ini

# Removal keeps it; a reinstall finds it again; a purge deletes it.
apt-get remove -y korvela
[ "$(customers)" = 1 ] || fail "removal touched the database"
apt-get install -y "$second"
[ "$(customers)" = 1 ] || fail "the reinstall touched the database"
apt-get purge -y korvela 2>&1 | tee "$out/purge.log"
grep -q "purge deletes the database" "$out/purge.log" || fail "the purge did not say it deletes the database"
[ ! -e "$data" ] || fail "purge left $data"
[ ! -e /etc/korvela/Korvela.ini ] || fail "purge left the settings file"
userdel --remove "$user" 2>/dev/null || true
cmake "$build" -DKORVELA_PACKAGE_RELEASE=1 >/dev/null
echo "package test: the package installs, starts, upgrades and purges as it should"
