#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# demo need. Idempotent; silent when nothing is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
      libmotif-dev libxt-dev libx11-dev libxext-dev libxtst-dev libpng-dev
      libhwy-dev libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev libmypaint-dev
      xvfb xauth xdotool x11-utils)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "deps: installing ${missing[*]}" >&2
sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
