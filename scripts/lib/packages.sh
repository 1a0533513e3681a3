# Debian packages that Pelmode's scripts need, installed only when missing.
# Sourced by the scripts, never run on its own.

BUILD_PACKAGES=(cmake g++ make libxcb1-dev libxcb-randr0-dev)
TEST_PACKAGES=(googletest libgtest-dev xserver-xorg-core xserver-xorg-video-dummy
  xvfb x11-xserver-utils)
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
