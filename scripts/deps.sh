# Sourced by the scripts: installs the Debian packages picsheet needs, only those missing.
# Usage: picsheet_install_deps [--gui]
picsheet_install_deps() {
  local packages=(cmake g++ make pkg-config ca-certificates curl
    libcurl4-openssl-dev libjpeg62-turbo-dev libcli11-dev
    libgtest-dev libcpp-httplib-dev libbenchmark-dev zlib1g-dev openssl time
    libjpeg-turbo-progs  # djpeg and cjpeg, the yardstick of bench/turn_bench
    nodejs)              # an HTTP/2 server (node's http2 module) for the tests and benches
  if [ "${1:-}" = "--gui" ]; then
    packages+=(qt6-base-dev qt6-webengine-dev qt6-translations-l10n libcups2-dev xvfb xauth poppler-utils)
    # The manual pages and icons the install rules make, and the tools that check them.
    packages+=(help2man librsvg2-bin desktop-file-utils appstream man-db)
  fi
  picsheet_install_packages "${packages[@]}"
}

# Installs those of the given Debian packages that are missing.
picsheet_install_packages() {
  local packages=("$@")
  local missing=()
  local package
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$package")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # Another apt-get or an unattended upgrade may hold the package lock: wait for it (up to
    # ten minutes) rather than fail at once.
    local wait=(-o DPkg::Lock::Timeout=600)
    $sudo apt-get "${wait[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait[@]}" install -y -qq \
      --no-install-recommends "${missing[@]}"
  fi
}
