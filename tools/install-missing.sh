#!/usr/bin/env bash
# Installs with apt-get those of the Debian packages named that are not installed yet:
#
#   tools/install-missing.sh PACKAGE...
#
# Says which it installs; installs nothing, and asks nothing of apt, when all are there.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q '^install ok installed' || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
