#!/usr/bin/env bash
# Installs with apt-get whatever the build, the tests and the program need and is not there yet.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libicu-dev libsqlite3-dev libsqlite3-0 libjpeg62-turbo-dev
  qt6-base-dev
  mdbtools mdbtools-dev
  libxml2-utils time
  fonts-dejavu-core fonts-liberation2 fonts-wine
  # a comma-decimal locale, under which the viewer must still read "1.5" as 1.5
  locales-all
  # pdfinfo and pdftotext read back what the viewer prints to PDF
  poppler-utils
  # the real-display suite: its own X server, and input sent through it with XTest
  xvfb xdotool
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
