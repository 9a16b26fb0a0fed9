#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking need.
# Does nothing when all of them are present already.
set -euo pipefail

packages=(
  g++ clang clang-format libclang-rt-14-dev cmake make ninja-build ccache pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libldap-dev slapd ldap-utils dnsmasq-base
  python3 python3-ldap time util-linux iproute2 groff-base man-db
  rabbitmq-server librabbitmq-dev amqp-tools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# slapd must not create a default database or start a system service.
echo "slapd slapd/no_configuration boolean true" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
