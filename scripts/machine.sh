# Shared by demo.sh and test.sh: installs what a fresh Debian machine lacks, only when it is missing.
# Source it, then call the functions.

# ensure_packages PKG...: apt-get installs those of the named Debian packages that are not installed.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# The packages every build and test needs.
ensure_build_tools() {
  ensure_packages cmake make g++ python3 libgtest-dev clang libclang-rt-14-dev \
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
}

# Wine, a virtual display and the tools that drive the restart prompt.
ensure_wine_tools() {
  ensure_packages wine wine64 xvfb xauth xdotool x11-apps imagemagick locales
}

# The Japanese locale, under which Wine's ANSI code page is 932.
ensure_japanese_locale() {
  locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  else
    echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen >/dev/null
}

# configure_and_build PRESET [BINARY_DIR]: configures and builds one CMake preset, in the preset's
# own binary directory or in BINARY_DIR.
configure_and_build() {
  if [ $# -ge 2 ]; then
    cmake --preset "$1" -B "$2" >/dev/null
    cmake --build "$2" -j "$(nproc)"
  else
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$(nproc)"
  fi
}
