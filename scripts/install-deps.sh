#!/usr/bin/env bash
# Installs the Debian packages a command needs, skipping those already present:
#   scripts/install-deps.sh --tools [PACKAGE...]   building and running the two tools
#   scripts/install-deps.sh [PACKAGE...]           that, and everything the tests need
# The README lists both sets; a test keeps the lists the same.
set -euo pipefail

tools=(cmake make g++ libtclap-dev librapidxml-dev libwolfssl-dev libxml2-dev libpng-dev
       libjpeg62-turbo-dev nlohmann-json3-dev libmicrohttpd-dev pkg-config libacl1-dev)
tests=(python3 libgtest-dev dpkg-dev man-db groff-base chromium chromium-driver python3-selenium
       strace python3-jsonschema ninja-build lintian acl e2fsprogs git neovim emacs-nox elpa-eglot)
packages=("${tools[@]}")
if [ "${1:-}" = --tools ]; then
  shift
else
  packages+=("${tests[@]}")
fi
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
