#!/usr/bin/env bash
# Installs the Debian packages of scripts/debian-packages.txt that are not installed yet: those
# that build and run Sentello, with --tests also those of the tests and their peers.
# The peers' system services (an FTP server open to local logins, a motion daemon that would take
# the camera) are not started by their installation, and are stopped and disabled on every run
# with --tests, also where an earlier installation left them on; the tests start their own.
# Usage: scripts/install-deps.sh [--tests]
set -euo pipefail
shopt -s inherit_errexit
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

sections=(build)
if [[ $* == --tests ]]; then
  sections+=(tests)
elif (($# > 0)); then
  echo "usage: $0 [--tests]" >&2
  exit 2
fi

sudo_cmd=()
((EUID == 0)) || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
policy=/usr/sbin/policy-rc.d

installed() {
  [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}

# Sets `absent` to those of the sections' packages that are not installed.
find_absent() {
  local list package
  list=$("$here/list-packages.sh" "$@")
  absent=()
  for package in $list; do
    installed "$package" || absent+=("$package")
  done
}

updated=false
install() {
  (($# > 0)) || return 0
  echo "Installing: $*"
  if ! $updated; then
    "${sudo_cmd[@]}" apt-get update -q
    updated=true
  fi
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "$@"
}

# Installs with a policy that lets no maintainer script start a service (invoke-rc.d and
# deb-systemd-invoke ask /usr/sbin/policy-rc.d; 101 is "action forbidden"). A policy that is
# there already is the machine's own and stays as it is.
install_without_starting() {
  (($# > 0)) || return 0
  if [[ -e $policy ]]; then
    install "$@"
    return
  fi
  trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
  trap 'exit 130' INT TERM
  printf '#!/bin/sh\n# Left by an interrupted scripts/install-deps.sh of Sentello.\nexit 101\n' |
    "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$policy"
  install "$@"
  "${sudo_cmd[@]}" rm -f "$policy"
  trap - EXIT INT TERM
}

# Stops and disables every system service that the section's installed packages bring: their
# systemd units and init scripts. Asks for root only where a service is on.
quiet_services() {
  local list package paths path name systemd_running=false
  list=$("$here/list-packages.sh" "$1")
  [[ -d /run/systemd/system ]] && systemd_running=true
  for package in $list; do
    installed "$package" || continue
    mapfile -t paths < <(dpkg -L "$package")
    for path in "${paths[@]}"; do
      name=${path##*/}
      case $path in
        /lib/systemd/system/*.service | /lib/systemd/system/*.socket | /lib/systemd/system/*.timer | \
          /usr/lib/systemd/system/*.service | /usr/lib/systemd/system/*.socket | \
          /usr/lib/systemd/system/*.timer)
          if [[ $(systemctl is-enabled "$name" 2>/dev/null) == enabled ]]; then
            "${sudo_cmd[@]}" systemctl disable "$name"
          fi
          if $systemd_running && systemctl is-active --quiet "$name"; then
            "${sudo_cmd[@]}" systemctl stop "$name"
          fi
          ;;
        /etc/init.d/*)
          if compgen -G "/etc/rc[2345].d/S??$name" >/dev/null; then
            "${sudo_cmd[@]}" update-rc.d "$name" disable
          fi
          if $systemd_running; then
            if systemctl is-active --quiet "$name"; then
              "${sudo_cmd[@]}" systemctl stop "$name"
            fi
          elif "$path" status >/dev/null 2>&1; then
            "${sudo_cmd[@]}" "$path" stop
          fi
          ;;
      esac
    done
  done
}

find_absent "${sections[@]}"
install "${absent[@]}"
if [[ ${sections[*]} == *tests* ]]; then
  find_absent peers
  install_without_starting "${absent[@]}"
  quiet_services peers
fi
