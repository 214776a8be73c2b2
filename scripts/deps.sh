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
    libqrencode-dev
)

kv_install_deps() {
    local missing=()
    for p in "${KV_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    # Node.js and npm for the handheld application: a machine that has them from elsewhere keeps them.
    command -v npm >/dev/null || missing+=(nodejs npm)
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq || return 1
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
    fi
    kv_install_app_deps
}

# The handheld application's JavaScript packages, exactly as its lock file pins them (npm ci),
# skipped while app/node_modules was installed from this very lock file.
kv_install_app_deps() {
    local app="$KV_ROOT/app" stamp="$KV_ROOT/app/node_modules/.kv-installed-lock"
    [ -f "$app/package-lock.json" ] || return 0
    cmp -s "$app/package-lock.json" "$stamp" 2>/dev/null && return 0
    echo "Installing the handheld application's packages (npm ci in app/)"
    (cd "$app" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) || return 1
    cp "$app/package-lock.json" "$stamp"
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
