# Installs the Debian 12 packages that building and testing Atalaia needs, when any is missing.
# Sourced by scripts/run and scripts/test.
atalaia_install_deps() {
    local packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
                    libssl-dev libgtest-dev libgmock-dev libbenchmark-dev clang-format alsa-utils dpkg-dev "$@")
    local missing=()
    for p in "${packages[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
