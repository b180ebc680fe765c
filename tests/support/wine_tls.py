"""A wineserver of a test's own, and its TLS trust. Wine's SChannel (on the
host's GnuTLS) trusts the roots that crypt32 reads from the host's bundle
when a wineserver starts: a test in a sandbox of its own (mounts, TMPDIR and
so wineserver) mounts a bundle with its CA over the host's and starts the
wineserver anew."""
import os
import subprocess
import sys

HOST_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")


def run_with_own_wine(script, arguments, sandbox_options=("--private-shm",)):
    """The script again with --inside, in a new sandbox (with sandbox_options)
    and the Wine environment of scripts/wine-env.sh; its exit status."""
    command = [os.path.join(SCRIPTS, "sandbox"), *sandbox_options,
               "bash", "-c", 'source "$0"; trap wine_env_stop EXIT; "$@"',
               os.path.join(SCRIPTS, "wine-env.sh"),
               sys.executable, os.path.abspath(script), "--inside", *arguments]
    return subprocess.run(command).returncode


def trust_in_wine(ca_path, folder):
    """From here on Wine trusts the CA as a root (for this sandbox only)."""
    bundle = os.path.join(folder, "bundle-with-test-ca.crt")
    with open(bundle, "wb") as out:
        for part in (HOST_BUNDLE, ca_path):
            with open(part, "rb") as source:
                out.write(source.read())
    subprocess.run(["mount", "--bind", bundle, HOST_BUNDLE], check=True)
    for command in (["wineserver", "-k"], ["wineserver", "-w"]):
        subprocess.run(command, check=False)
    subprocess.run(["wineserver", "-p"], check=True)
    subprocess.run(["wine", "wineboot"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120, check=True)
