#!/bin/sh
# Installs every Debian package that building, testing and running Wardlark need.
# Idempotent: prints nothing and changes nothing when all are present. Run as root (or with
# sudo available).
set -eu

PACKAGES="
build-essential
cmake
pkg-config
g++
git
zlib1g-dev
libssl-dev
openssl
libgtest-dev
libgmock-dev
libbenchmark-dev
clang
clang-format
libclang-rt-14-dev
python3
locales
"

missing=""
for package in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# A locale with a decimal comma: the tests prove that numbers never follow the C locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "Generating the de_DE.UTF-8 locale"
    $SUDO sh -c "echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen && locale-gen >/dev/null"
fi
