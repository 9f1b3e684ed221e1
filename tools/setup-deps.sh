#!/usr/bin/env bash
# Installs with apt-get whatever the build, the tests and the program need and is not there yet.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libicu-dev libsqlite3-dev libsqlite3-0 libjpeg62-turbo-dev
  # tones are played through ALSA
  libasound2-dev
  qt6-base-dev
  mdbtools mdbtools-dev
  libxml2-utils time
  fonts-dejavu-core fonts-liberation2 fonts-wine
  # a comma-decimal locale, under which the viewer must still read "1.5" as 1.5
  locales-all
  # pdfinfo and pdftotext read back what the viewer prints to PDF
  poppler-utils
  # the real-display suite: its own X server, input sent through it with XTest, and xprop
  # reading the titles a window manager is given
  xvfb xdotool x11-utils
  # the GIF codec's files are checked against two other decoders: Pillow and ImageMagick
  python3-pil imagemagick
)
bash "$(dirname "$0")/install-missing.sh" "${packages[@]}"
