#!/bin/sh
# Installs the Debian packages named in the given lists that are not installed yet;
# does nothing (not even apt-get update) when all are there.
set -e
here=$(dirname "$0")
missing=
for list in "$@"; do
    for p in $(grep -v '^#' "$here/$list"); do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
    done
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
