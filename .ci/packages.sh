# Package installs for the CI scripts; source it.

# Installs with apt-get the named Debian packages the machine lacks.
need_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}" >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# clang with its runtime libraries (the sanitizers and libFuzzer), which
# Debian ships apart from the compiler.
need_clang() {
    command -v clang++ >/dev/null || need_packages clang
    local version
    version=$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
    need_packages "libclang-rt-${version:-14}-dev"
}
