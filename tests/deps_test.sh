#!/usr/bin/env bash
# scripts/deps.sh installs what is missing through apt-get calls that wait for the package lock:
# against a stand-in apt-get that fails at once, as a held lock makes it, unless told to wait.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT

cat >"$bin/apt-get" <<'EOF'
#!/bin/sh
echo "$*" >>"$APT_LOG"
case " $* " in
  *" -o DPkg::Lock::Timeout="[1-9]*) exit 0 ;;
esac
echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 1 (apt-get)" >&2
exit 100
EOF
# Nothing is installed; sudo, for a run as an ordinary user, only runs the command.
printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"
printf '#!/bin/sh\nexec "$@"\n' >"$bin/sudo"
chmod +x "$bin/apt-get" "$bin/dpkg-query" "$bin/sudo"

export APT_LOG="$bin/calls" PATH="$bin:$PATH"
source "$root/scripts/deps.sh"
picsheet_install_packages picsheet-stand-in >/dev/null

# Both calls were made, each told to wait.
calls=$(cat "$APT_LOG")
[ "$(grep -c -- '-o DPkg::Lock::Timeout=' <<<"$calls")" -eq 2 ] || {
  echo "deps_test: not every apt-get call waits for the lock:" >&2
  echo "$calls" >&2
  exit 1
}
grep -q ' update' <<<"$calls" && grep -q ' install .*picsheet-stand-in' <<<"$calls" || {
  echo "deps_test: expected an update and an install, got:" >&2
  echo "$calls" >&2
  exit 1
}
echo "deps_test: every apt-get call waits for the package lock"
