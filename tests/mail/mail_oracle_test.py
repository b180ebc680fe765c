#!/usr/bin/env python3
"""The mail core's conversions against Python's own codecs: shift_jis and
iso2022_jp for random JIS X 0208 text, NFKC for the half-width katakana
folding, base64 for encoded words and raw bytes; and against the
ISO-2022-JP decoder that browsers and mail programs follow (Node's
TextDecoder, after the WHATWG Encoding Standard) for every character of
code page 932.

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
CP932_LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
CP932_TRAILS = list(range(0x40, 0x7F)) + list(range(0x80, 0xFD))
USER_DEFINED_LEADS = range(0xF0, 0xFA)
GETA_MARK = "\u3013"


def mail_reader_decode(texts):
    """Each ISO-2022-JP text as Node's WHATWG decoder reads it."""
    script = ("const texts = JSON.parse(require('fs').readFileSync(0, 'utf8'));"
              "const decoder = new TextDecoder('iso-2022-jp');"
              "process.stdout.write(JSON.stringify("
              "texts.map(t => decoder.decode(Buffer.from(t, 'base64')))));")
    run = subprocess.run(["node", "-e", script], capture_output=True, text=True, timeout=120,
                         input=json.dumps([base64.b64encode(t).decode() for t in texts]),
                         check=True)
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
        # Code page 932's vendor rows included. User-defined characters, and
        # the single bytes 0x80 and 0xFD to 0xFF, which the code page maps to
        # a control or to private use, become the geta mark; codes without a
        # character only have to stay 7-bit.
        codes = [bytes([lead, trail]) for lead in CP932_LEADS for trail in CP932_TRAILS]
        codes += [bytes([b]) for b in (0x80, 0xFD, 0xFE, 0xFF)]
        ours = TOOL.convert("jis", b"\n".join(codes))
        stray = sorted(b for b in set(ours) if b >= 0x80 or (b < 0x20 and b not in b"\x1b\n"))
        self.assertEqual(stray, [])
        lines = ours.split(b"\n")
        self.assertEqual(len(lines), len(codes))
        wrong = []
        for code, decoded in zip(codes, mail_reader_decode(lines)):
            try:
                expected = code.decode("cp932")
            except UnicodeDecodeError:
                continue
            if code[0] in USER_DEFINED_LEADS or len(code) == 1:
                expected = GETA_MARK
            if decoded != expected:
                wrong.append((code.hex(), expected, decoded))
        self.assertEqual(wrong[:10], [], "%d codes in all" % len(wrong))

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
