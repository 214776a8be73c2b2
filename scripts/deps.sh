# Sourced by ./run and ./test: installs the Debian packages the project needs, asking dpkg first
# so a warm machine skips apt entirely.
KV_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
    libmicrohttpd-dev libgnutls28-dev
    libsqlite3-dev sqlite3 libgtest-dev libcli11-dev
    unixodbc unixodbc-dev odbc-postgresql tdsodbc
    postgresql
    xvfb xauth openbox
    help2man desktop-file-utils dpkg-dev
    curl openssl
)

kv_install_deps() {
    local missing=()
    for p in "${KV_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
}

# Configures and builds into DIR with BUILD_TYPE and extra cmake options.
kv_build() {
    local dir=$1 type=$2
    shift 2
    # A compiler cache, where the machine has one, lets several checkouts share their objects.
    if command -v ccache >/dev/null; then
        set -- -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
        export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$KV_ROOT")}"
    fi
    cmake -S "$KV_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null || return 1
    cmake --build "$dir" -j "$(nproc)" || return 1
}
