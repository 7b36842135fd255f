# Sourced: the Debian packages that building, running and testing Vello
# need, one list for scripts/run.sh, scripts/test.sh and .ci/run.
#   python3-zeroconf  the independent implementation the discovery tests talk to
#   wixl              builds the Windows installer (scripts/release.sh)
#   lintian           checks the Debian package (tests/install/run_deb_test.sh)
#   nftables          a lab host's firewall (tests/lan)
VELLO_PACKAGES=(
  cmake make g++ googletest g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xauth x11-utils fonts-noto-cjk locales
  imagemagick xdotool python3 python3-zeroconf iproute2 util-linux
  wixl lintian nftables
)

# vello_install_packages: installs the packages of the list that are missing,
# with apt-get, through sudo when not root. Says which it installs.
vello_install_packages() {
  local need=() pkg sudo=()
  for pkg in "${VELLO_PACKAGES[@]}"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
  done
  [ ${#need[@]} -gt 0 ] || return 0
  if [ "$(id -u)" != 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "vello: these Debian packages are missing, and there is no sudo to install them: ${need[*]}" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  echo "vello: installing the missing Debian packages: ${need[*]}"
  "${sudo[@]}" apt-get update &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
}
