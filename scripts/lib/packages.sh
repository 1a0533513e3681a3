# shellcheck shell=bash disable=SC2034  # the lists are for the scripts
# Debian packages that Pelmode's scripts need, installed only when missing.
# Sourced by the scripts, never run on its own.

# The build, and the Debian package that `cpack` makes of it.
BUILD_PACKAGES=(cmake g++ make pkg-config libxcb1-dev libxcb-randr0-dev libwayland-dev
  libsystemd-dev plasma-wayland-protocols file dpkg-dev)
TEST_PACKAGES=(googletest libgtest-dev xserver-xorg-core xserver-xorg-video-dummy
  xvfb x11-xserver-utils x11-utils weston xwayland gdb dpkg-dev unzip man-db python3
  dbus libglib2.0-bin systemd mutter kwin-wayland phoc wlr-randr procps lintian mandoc
  shellcheck)
WINDOWS_BUILD_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  binutils-mingw-w64-x86-64)
# Never wine32: 32-bit code cannot run on the machines this is tested on.
WINDOWS_TEST_PACKAGES=(wine64 icoutils python3)
VIRTUAL_DISPLAY_PACKAGES=(xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils)

as_root() {
  if [[ $(id -u) == 0 ]]; then
    "$@"
  else
    sudo "$@"
  fi
}

# install_missing PACKAGE...: apt-get only runs when something is missing.
install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "Installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
}
