#!/usr/bin/env bash
# The sections of scripts/debian-packages.txt as the scripts use them: a fresh Debian 12 that
# gets the packages of [build] (all that scripts/build.sh and scripts/demo.sh install) gets none
# of the [peers]; every peer brings a system service, and wherever the test command installed
# one, that service is not enabled.
# Exit code 77 (skipped) where apt has no package lists to work out an installation from.
set -euo pipefail
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
fail() {
  echo "check-packages: $*" >&2
  exit 1
}

build=$("$scripts/list-packages.sh" build)
peers=$("$scripts/list-packages.sh" peers)

if ! apt-cache show build-essential >/dev/null 2>&1; then
  echo "check-packages: apt has no package lists (apt-get update)" >&2
  exit 77
fi
# What apt would install on a machine with nothing installed, with the options of
# scripts/install-deps.sh.
# shellcheck disable=SC2086 # package names, checked by list-packages.sh
simulation=$(apt-get --simulate -o Dir::State::status=/dev/null install --no-install-recommends \
  $build 2>&1) || fail "apt cannot install the build section: $simulation"
grep -q '^Inst cmake ' <<<"$simulation" || fail "the simulation did not start from an empty machine"
for peer in $peers; do
  if grep -q "^Inst $peer " <<<"$simulation"; then
    fail "installing the build section brings $peer"
  fi
done

for peer in $peers; do
  [[ $(dpkg-query -W -f='${Status}' "$peer" 2>/dev/null || true) == "install ok installed" ]] ||
    continue
  services=0
  while read -r path; do
    name=${path##*/}
    case $path in
      */lib/systemd/system/*.service | */lib/systemd/system/*.socket | */lib/systemd/system/*.timer)
        ((++services))
        if [[ $(systemctl is-enabled "$name" 2>/dev/null) == enabled ]]; then
          fail "$peer's $name is enabled (scripts/install-deps.sh --tests disables it)"
        fi
        ;;
      /etc/init.d/*)
        ((++services))
        if compgen -G "/etc/rc[2345].d/S??$name" >/dev/null; then
          fail "$peer's /etc/init.d/$name starts at boot (scripts/install-deps.sh --tests disables it)"
        fi
        ;;
    esac
  done < <(dpkg -L "$peer")
  ((services > 0)) || fail "$peer brings no system service: it belongs in the section [tests]"
done
echo "check-packages: the build section brings no peer; the peers' services are off"
