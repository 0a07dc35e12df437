#!/usr/bin/env bash
# Installs every Debian package Vesk needs to build, test and run. Idempotent: only packages that
# are missing are passed to apt-get, so a second run on a prepared machine does nothing.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev libplist-utils
  # Qt
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-image-formats-plugins qt6-svg-dev
  libqt6svg6 qt6-qpa-plugins libgl-dev
  # storage, hashing, metadata, media
  libx11-dev libxcb1-dev
  libsqlite3-dev sqlite3 ffmpeg libssl-dev libexiv2-dev libheif-dev
  libpoppler-qt6-dev libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libsecret-1-dev libplist-dev libpsl-dev publicsuffix
  shared-mime-info fonts-material-design-icons-iconfont fonts-dejavu-core wamerican wordnet-base
  # "Open File" and "Open Original": Qt hands files to the desktop's default app through xdg-open
  xdg-utils
  # running GUI tests and the app headless, with a session bus
  xvfb xauth dbus dbus-x11 xdotool imagemagick
  # the real-application driver (bench/realapp) puts its text on the clipboard
  xclip
  # a private, unlocked system keyring for the secure-item tests
  gnome-keyring
  # seeing pictures: text recognition, and the matrix maths of the model runtime
  libtesseract-dev tesseract-ocr-eng libeigen3-dev
  # photographs the vision tests look at: faces (dlib's examples), a portrait, landscapes, objects, signs
  libdlib19.1 python-matplotlib-data gnome-control-center-data opencv-doc
)
# npm fetches the vision models; machines with Node.js from elsewhere already have it.
if ! command -v npm >/dev/null 2>&1; then PACKAGES+=(npm); fi

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

bash "$(dirname "$0")/install-models.sh"
