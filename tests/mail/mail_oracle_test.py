#!/usr/bin/env python3
"""The mail core's conversions against Python's own codecs: shift_jis and
iso2022_jp for random JIS X 0208 text, NFKC for the half-width katakana
folding, base64 for encoded words and raw bytes; Node's TextDecoder (the
WHATWG decoder that mail readers follow) for all of code page 932.

Usage: mail_oracle_test.py --tool mail_tool [--wine]
"""
import base64
import json
import random
import re
import subprocess
import unicodedata
import unittest

from mail_tool_runner import run_tests

TOOL = None
ESC_TO_JIS = b"\x1b$B"
ESC_TO_ASCII = b"\x1b(B"


def jis_x0208_characters():
    found = []
    for row in range(0x21, 0x75):
        for cell in range(0x21, 0x7F):
            try:
                ch = (ESC_TO_JIS + bytes([row, cell]) + ESC_TO_ASCII).decode("iso2022_jp")
                ch.encode("shift_jis")
            except UnicodeError:
                continue
            found.append(ch)
    return found


KANJI = jis_x0208_characters()
ASCII = [chr(c) for c in range(0x20, 0x7F)]
HALF_WIDTH = [bytes([b]).decode("shift_jis") for b in range(0xA1, 0xE0)]


def mail_reader_decode(texts):
    script = ("const d = new TextDecoder('iso-2022-jp'); const texts = JSON.parse("
              "require('fs').readFileSync(0)); process.stdout.write(JSON.stringify("
              "texts.map(t => d.decode(Buffer.from(t, 'hex')))))")
    run = subprocess.run(["node", "-e", script], input=json.dumps([t.hex() for t in texts]),
                         capture_output=True, text=True, timeout=120, check=True)
    return json.loads(run.stdout)


def random_text(rng, length, pools):
    pieces = []
    for _ in range(length):
        pool = rng.choice(pools)
        pieces.append("\r\n" if pool is None else rng.choice(pool))
    return "".join(pieces)


def folded(text):
    """Half-width katakana as a Japanese mail reader expects them: NFKC of
    each half-width run, with the marks that combine with nothing in JIS X 0208
    kept as spacing marks."""
    def fold(run):
        run = unicodedata.normalize("NFKC", run.group())
        for composed, plain in (("\u30f7", "\u30ef\u309b"), ("\u30fa", "\u30f2\u309b"),
                                ("\u30f8", "\u30f0\u309b"), ("\u30f9", "\u30f1\u309b")):
            run = run.replace(composed, plain)
        return run.replace("\u3099", "\u309b").replace("\u309a", "\u309c")
    return re.sub("[\uff61-\uff9f]+", fold, text)


class ConversionOracleTest(unittest.TestCase):
    def test_random_jis_x0208_text_converts_as_the_iso2022_jp_codec_does(self):
        rng = random.Random(4)
        text = random_text(rng, 20000, [KANJI, KANJI, ASCII, None])
        ours = TOOL.convert("jis", text.encode("shift_jis"))
        self.assertEqual(ours, text.encode("iso2022_jp"))

    def test_half_width_katakana_fold_as_nfkc_does(self):
        rng = random.Random(5)
        text = random_text(rng, 20000, [HALF_WIDTH, HALF_WIDTH, KANJI, ASCII, None])
        ours = TOOL.convert("jis", text.encode("shift_jis"))
        self.assertEqual(ours.decode("iso2022_jp"), folded(text))
        self.assertEqual(ours, folded(text).encode("iso2022_jp"))

    def test_every_line_ends_in_ascii_mode(self):
        rng = random.Random(6)
        text = random_text(rng, 5000, [HALF_WIDTH, KANJI, None])
        ours = TOOL.convert("jis", text.encode("shift_jis"))
        for line in ours.split(b"\r\n"):
            self.assertEqual(line.rfind(ESC_TO_JIS) <= line.rfind(ESC_TO_ASCII), True, line)
            self.assertTrue(all(b < 0x80 for b in line))

    def test_every_code_page_932_character_reaches_mail_readers_as_itself(self):
        # User-defined characters, and 0x80 and 0xFD to 0xFF alone, become
        # the geta mark; codes without a character only stay 7-bit.
        codes = [bytes([lead, trail]) for lead in [*range(0x81, 0xA0), *range(0xE0, 0xFD)]
                 for trail in [*range(0x40, 0x7F), *range(0x80, 0xFD)]]
        codes += [b"\x80", b"\xfd", b"\xfe", b"\xff"]
        ours = TOOL.convert("jis", b"\n".join(codes))
        stray = [b for b in set(ours) if b >= 0x7F or (b < 0x20 and b not in b"\x1b\n")]
        self.assertEqual(stray, [])
        wrong = []
        for code, decoded in zip(codes, mail_reader_decode(ours.split(b"\n")), strict=True):
            expected = code.decode("cp932", "replace")
            if len(code) == 1 or 0xF0 <= code[0] <= 0xF9:
                expected = "\u3013"
            if "\ufffd" not in expected and decoded != expected:
                wrong.append((code.hex(), expected, decoded))
        self.assertEqual(wrong[:10], [], "%d in all" % len(wrong))

    def test_lead_byte_before_a_byte_that_is_no_trail_byte_is_dropped(self):
        # A message cut inside its last character, then the links; and lead
        # bytes before ")", ",", 0x1F and 0x7F, which no character ends with.
        cut = "\u304a\u77e5\u3089\u305b".encode("shift_jis")[:-1]
        for data in (cut + b"\r\nhttp://host77.example.test/\r\n",
                     b"a\x82)b\x88,c\xe0\x1fd\x9f\x7fe\xfc"):
            ours = TOOL.convert("jis", data)
            self.assertEqual(ours, data.decode("shift_jis", "ignore").encode("iso2022_jp"), data)


class EncodedWordOracleTest(unittest.TestCase):
    def test_header_text_decodes_back_word_by_word(self):
        rng = random.Random(7)
        words = []
        for _ in range(60):
            pool = rng.choice([KANJI, HALF_WIDTH, ASCII])
            words.append("".join(rng.choice(pool) for _ in range(rng.randint(1, 12))).strip())
        text = " ".join(w for w in words if w)
        ours = TOOL.convert("header", text.encode("shift_jis"))
        self.assertTrue(all(b < 0x80 and b != 0x1b for b in ours))
        raw = re.sub(rb"=\?ISO-2022-JP\?B\?([A-Za-z0-9+/=]*)\?=",
                     lambda m: base64.b64decode(m.group(1)), ours)
        self.assertEqual(raw.decode("iso2022_jp"), folded(text))

    def test_mail_readers_decode_the_subject(self):
        import email.header
        subject = "Vantor URL \u306e\u304a\u77e5\u3089\u305b"
        ours = TOOL.convert("header", subject.encode("shift_jis")).decode("ascii")
        decoded = str(email.header.make_header(email.header.decode_header(ours)))
        self.assertEqual(decoded, subject)

    def test_base64_matches_for_every_remainder(self):
        rng = random.Random(8)
        for length in (1, 2, 3, 4, 5, 57, 1000):
            data = bytes(rng.randrange(1, 256) for _ in range(length))
            self.assertEqual(TOOL.convert("base64", data), base64.b64encode(data))


def main():
    run_tests(lambda tool: globals().update(TOOL=tool))


if __name__ == "__main__":
    main()
