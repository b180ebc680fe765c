#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Idempotent: packages already present are not fetched again.
#   install-deps.sh native   compilers and test tools for the Linux build
#   install-deps.sh windows  adds the mingw-w64 cross compiler and Wine
#   install-deps.sh package  adds the installer, archive and Debian package tools
set -euo pipefail

# libssl-dev: the native build's TLS; python3-cryptography: the tests' own CA.
native=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libssl-dev
        iproute2 util-linux procps python3 socat busybox-static inetutils-telnetd
        openssl time python3-aiosmtpd python3-cryptography msmtp curl dnsmasq-base unbound
        bind9-dnsutils nodejs)
# libgnutls30: Wine's SChannel (64-bit, as the programs) runs on the host's GnuTLS.
windows=(g++-mingw-w64-x86-64-posix wine wine64 xvfb locales imagemagick fonts-ipafont-gothic
         fonts-wine libgnutls30)
package=(nsis zip unzip dpkg-dev lintian systemd man-db)

want=("${native[@]}")
for kind in "$@"; do
  case "$kind" in
    native) ;;
    windows) want+=("${windows[@]}") ;;
    package) want+=("${package[@]}") ;;
    *) echo "install-deps: unknown set '$kind'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

# The telnet server package brings a super-server that would offer telnet on
# the machine's own port 23; the tests start their telnet servers themselves,
# inside private namespaces.
if command -v update-inetd >/dev/null && grep -qE '^telnet' /etc/inetd.conf 2>/dev/null; then
  "${sudo[@]}" update-inetd --disable telnet || true
fi

# The DNS server package would serve (and resolve recursively for) the
# machine itself where systemd runs; the tests start their DNS servers
# themselves, inside the sandbox.
if command -v systemctl >/dev/null && systemctl is-enabled --quiet unbound 2>/dev/null; then
  "${sudo[@]}" systemctl disable --now unbound unbound-resolvconf 2>/dev/null || true
fi
