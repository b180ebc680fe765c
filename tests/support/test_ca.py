"""A certificate authority made for one test run, and TLS server contexts
whose certificates it signs, so that clients check them as real ones."""
import datetime
import os
import ssl

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

DAY = datetime.timedelta(days=1)


def _certificate(subject, key, issuer, issuer_key, expired, extensions):
    now = datetime.datetime.now(datetime.timezone.utc)
    name = lambda text: x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])  # noqa
    builder = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now - 10 * DAY).not_valid_after(now + (-DAY if expired else DAY)))
    for extension, critical in extensions:
        builder = builder.add_extension(extension, critical)
    return builder.sign(issuer_key, hashes.SHA256())


class TestCa:
    def __init__(self, folder, name="Vantor Test CA"):
        self.folder, self.name = folder, name
        self.key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        usage = x509.KeyUsage(False, False, False, False, False, True, True, False, False)
        certificate = _certificate(name, self.key, name, self.key, False, [
            (x509.BasicConstraints(ca=True, path_length=None), True), (usage, True)])
        self.path = os.path.join(folder, name.replace(" ", "_") + ".pem")
        with open(self.path, "wb") as f:
            f.write(certificate.public_bytes(serialization.Encoding.PEM))

    def server_context(self, host="localhost", expired=False):
        """A TLS 1.2+ server context whose certificate names host."""
        key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        certificate = _certificate(host, key, self.name, self.key, expired, [
            (x509.SubjectAlternativeName([x509.DNSName(host)]), False),
            (x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), False)])
        chain = os.path.join(self.folder, "%s-%s.pem" % (host, os.urandom(4).hex()))
        with open(chain, "wb") as f:
            f.write(certificate.public_bytes(serialization.Encoding.PEM) + key.private_bytes(
                serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                serialization.NoEncryption()))
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(chain)
        return context
