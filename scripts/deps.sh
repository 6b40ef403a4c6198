# The Debian 12 packages that Atalaia needs, installed when any is missing.
# Sourced by scripts/run, scripts/test and scripts/package.

# Building the receiver and running it (aplay from alsa-utils plays the window's sounds).
ATALAIA_RUN_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev libssl-dev alsa-utils)
# Building the Debian packages.
ATALAIA_PACKAGE_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev libssl-dev
                          dpkg-dev debhelper)
# Building and running the tests, the benchmarks, the format check and the package test (with lintian).
ATALAIA_TEST_PACKAGES=("${ATALAIA_RUN_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev clang-format
                       dpkg-dev debhelper lintian)

# atalaia_install_deps PACKAGE...
atalaia_install_deps() {
    local missing=()
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
