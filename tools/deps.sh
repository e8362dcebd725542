# Installs with apt-get what a build needs and the machine lacks; source it.

# need_packages [--no-install-recommends] PACKAGE...: installs the named
# Debian packages that are missing.
need_packages() {
    local options=() missing=() package
    if [ "${1:-}" = --no-install-recommends ]; then
        options+=("$1")
        shift
    fi
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}" >&2
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
}

# need_clang: clang with its runtime libraries (the sanitizers and libFuzzer),
# which Debian ships apart from the compiler.
need_clang() {
    command -v clang++ >/dev/null || need_packages clang
    local version
    version=$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
    need_packages "libclang-rt-${version:-14}-dev"
}
