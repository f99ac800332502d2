#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing.
# With arguments, installs those packages instead.
set -euo pipefail

default_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libcli11-dev
  clang clang-format libclang-rt-14-dev
  srecord fonts-liberation python3 python3-jsonschema gettext qt6-translations-l10n
)
if (($#)); then packages=("$@"); else packages=("${default_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  # Another apt run (an unattended upgrade, a parallel job) is waited for.
  lock=(-o DPkg::Lock::Timeout=600)
  $sudo apt-get "${lock[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
