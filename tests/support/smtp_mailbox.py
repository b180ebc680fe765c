"""An aiosmtpd handler for the tests that receive the wizard's mail."""


class Mailbox:
    """Refuses RCPT for the addresses in refused and keeps every mail it
    accepted (aiosmtpd envelopes)."""

    def __init__(self, refused=()):
        self.refused = set(refused)
        self.mails = []

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 no such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.mails.append(envelope)
        return "250 Message accepted for delivery"
