#!/usr/bin/env bash
# Installs, idempotently and non-interactively, every Debian package the project needs, and the
# packages named as arguments (tools that only some targets need, e.g. make package).
# Does nothing when all of them are present.
set -euo pipefail

PACKAGES=(
  cmake make g++ clang lld pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev
  portaudio19-dev libasound2-dev libasound2-plugins pulseaudio pulseaudio-utils
  "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
