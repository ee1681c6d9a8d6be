#!/usr/bin/env bash
# Installs every package needed to build, test and run the program (Debian).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6sql6-sqlite libqt6opengl6-dev \
  libsodium-dev libsqlite3-dev sqlite3 libicu-dev \
  libqt6sql6-psql libpq-dev postgresql postgresql-client \
  qt6-translations-l10n desktop-file-utils \
  xvfb xauth fonts-noto-cjk libgl1-mesa-dev clang-format poppler-utils locales >/dev/null
