# Sourced by ./run and scripts/screenshots: the demo in the application folder, each piece made
# once (a second run reuses what is there). Sets home, erp and launch.
kv_prepare_demo() {
    local bin=$1
    home="${KVCONTROL_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/kvcontrol}"
    mkdir -p "$home"
    export KVCONTROL_HOME="$home"
    erp="$home/erp-demo.db"
    launch="@Motor=sqlite;@Server=local;@DbName=$erp;@Usuario=admin;@Password=admin;@Caja=1;"

    if [ ! -f "$erp" ]; then
        # kverp's progress, a line a table, is shown only when it fails.
        local log
        log=$(mktemp)
        "$bin/kverp" init --sqlite "$erp" --clients 300 >/dev/null 2>"$log" || { cat "$log" >&2; rm -f "$log"; return 1; }
        rm -f "$log"
    fi
    [ -f "$home/kvpalmsync.mdb" ] || "$bin/kvctl" --home "$home" store init "$home/kvpalmsync.mdb" >/dev/null
    if [ ! -f "$home/CN000pr.INI" ]; then
        # Owner-only: the settings file holds the devices' passwords.
        (umask 077 && printf '%s\n' \
            "[General]" "BaseDeDatos=kvpalmsync.mdb" "" \
            "[PARAMETROS PALM Nº 1]" "NOMBRE=Ruta Norte" "REPARTO=1,2" "" \
            "[PARAMETROS PALM Nº 2]" "NOMBRE=Mostrador" "CLIENTE=000001,000002,000003,000010,000020" "" \
            "[PARAMETROS PALM Nº 3]" "NOMBRE=Supervisor" > "$home/CN000pr.INI")
    fi
    local n
    for n in 1 2 3; do
        [ -f "$home/palm$n.db" ] || "$bin/kvhandheld" --home "$home" init "$home/palm$n.db" --device "$n" >/dev/null
    done
}
