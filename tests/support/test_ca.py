"""A certificate authority made for one test run, and server certificates
it signs, for TLS peers that a client must check as it checks real ones."""
import datetime
import os
import ssl

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

DAY = datetime.timedelta(days=1)


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


class TestCa:
    def __init__(self, folder, name="Vantor Test CA"):
        self.folder = folder
        self.key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        now = datetime.datetime.now(datetime.timezone.utc)
        self.certificate = (
            x509.CertificateBuilder().subject_name(_name(name)).issuer_name(_name(name))
            .public_key(self.key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - DAY).not_valid_after(now + 30 * DAY)
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False,
                                         False), critical=True)
            .sign(self.key, hashes.SHA256()))
        self.path = self._write(name.replace(" ", "_") + ".pem", self.certificate)

    def _write(self, file_name, *items):
        path = os.path.join(self.folder, file_name)
        with open(path, "wb") as f:
            for item in items:
                if isinstance(item, x509.Certificate):
                    f.write(item.public_bytes(serialization.Encoding.PEM))
                else:
                    f.write(item.private_bytes(serialization.Encoding.PEM,
                                               serialization.PrivateFormat.PKCS8,
                                               serialization.NoEncryption()))
        return path

    def server_context(self, host="localhost", expired=False):
        """A TLS 1.2+ server context whose certificate names host, signed here."""
        key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        now = datetime.datetime.now(datetime.timezone.utc)
        start = now - (10 * DAY if expired else DAY)
        certificate = (
            x509.CertificateBuilder().subject_name(_name(host))
            .issuer_name(self.certificate.subject).public_key(key.public_key())
            .serial_number(x509.random_serial_number())
            .not_valid_before(start).not_valid_after(now - DAY if expired else now + 30 * DAY)
            .add_extension(x509.SubjectAlternativeName([x509.DNSName(host)]), critical=False)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                           critical=False)
            .sign(self.key, hashes.SHA256()))
        chain = self._write("%s-%s.pem" % (host, os.urandom(4).hex()), certificate, key)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(chain)
        return context
