#!/usr/bin/env python3
"""Writes the charset cases of this directory, once: for each case a message
<case>.eml in its charset and <case>.expected, the UTF-8 text it must give
("Subject: ..." line, one "Attachment: ..." line per attachment, an empty
line, then the body). Every text is encoded and decoded by Python's codecs;
where Python's email package knows the label, it must read the message to
the same subject and body (checked here, when the files are written).

Usage: make_cases.py  (writes into the directory of this script)
"""
import base64
import codecs
import email
import email.policy
import os
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))

KO = ("안녕하세요 선생님", "오늘 숙제를 보냅니다.\r\n감사합니다!")
KO_UHC = ("똠방각하 선생님", "오늘 숙제를 보냅니다. 똠방각하, 뷁!\r\n감사합니다!")  # beyond EUC-KR
ZH_S = ("你好，老师", "这是我的作业。\r\n谢谢！")
ZH_GBK = ("你好，老师", "这是我的作业，朱镕基。\r\n谢谢！")  # 镕 is GBK, not GB2312
ZH_T = ("你好，老師", "這是我的作業。\r\n謝謝！")
JA = ("こんにちは先生", "宿題を送ります。\r\nよろしくお願いします。")
JA_KANA = ("こんにちは先生", "宿題を送ります。ｶﾀｶﾅ\r\nよろしくお願いします。")
RU = ("Привет, учитель", "Вот моё домашнее задание.\r\nСпасибо!")
UK = ("Привіт, вчителю", "Ось моє домашнє завдання: ґанок, їжак.\r\nДякую!")

# (case file name, label in the message, Python codec, (subject, body),
#  subject encoding "B" or "Q", body transfer encoding, whether Python's
#  email package reads the label as the mail program that writes it meant)
CASES = [
    # Python's email reads this label as EUC-KR: the syllables beyond EUC-KR
    # (written by the program that uses the label, for code page 949) are
    # lost there.
    ("ks_c_5601-1987", "ks_c_5601-1987", "cp949", KO_UHC, "B", "8bit", False),
    ("euc-kr", "EUC-KR", "euc_kr", KO, "B", "base64"),
    ("cp949", "CP949", "cp949", KO_UHC, "B", "8bit"),
    ("gb2312", "GB2312", "gb2312", ZH_S, "B", "base64"),
    ("gbk", "x-gbk", "gbk", ZH_GBK, "B", "8bit"),
    ("gb18030", "GB18030", "gb18030", ZH_GBK, "B", "8bit"),
    ("big5", "Big5", "big5", ZH_T, "B", "8bit"),
    ("shift_jis", "Shift_JIS", "shift_jis", JA_KANA, "B", "8bit"),
    ("cp932", "x-sjis", "cp932", JA_KANA, "B", "quoted-printable"),
    ("euc-jp", "EUC-JP", "euc_jp", JA, "B", "8bit"),
    ("iso-2022-jp", "ISO-2022-JP", "iso2022_jp", JA, "B", "7bit"),
    ("koi8-r", "KOI8-R", "koi8_r", RU, "B", "8bit"),
    ("koi8-u", "koi8-u", "koi8_u", UK, "Q", "8bit"),
    ("windows-1250", "windows-1250", "cp1250",
     ("Dzień dobry", "Zażółć gęślą jaźń.\r\nPříliš žluťoučký kůň."), "Q", "quoted-printable"),
    ("windows-1251", "Windows-1251", "cp1251",
     ("Здравейте", "Домашна работа, ёжик и ў.\r\nБлагодаря!"), "B", "8bit"),
    ("windows-1252", "WINDOWS-1252", "cp1252",
     ("Bonjour, madame", "Voilà mes devoirs – « très » bien…\r\nÇa coûte 5 €, n’est-ce pas ?"),
     "Q", "quoted-printable"),
    ("windows-1253", "windows-1253", "cp1253",
     ("Καλημέρα", "Ορίστε η εργασία μου.\r\nΕυχαριστώ!"), "B", "8bit"),
    ("windows-1254", "windows-1254", "cp1254",
     ("Merhaba öğretmenim", "Ödevim ekte, İyi günler.\r\nğüşıöç ĞÜŞİÖÇ"), "Q", "8bit"),
    ("windows-1255", "windows-1255", "cp1255",
     ("שלום מורה", "הנה שיעורי הבית שלי.\r\nתודה רבה!"), "B", "8bit"),
    ("windows-1256", "windows-1256", "cp1256",
     ("مرحبا أستاذ", "هذا واجبي المنزلي.\r\nشكرا جزيلا!"), "B", "8bit"),
    ("windows-1257", "windows-1257", "cp1257",
     ("Labas, mokytojau", "Čia mano namų darbai.\r\nĄčęėįšųūž ĀĒĢĪĶĻŅŌŖ"), "Q", "8bit"),
    ("windows-1258", "windows-1258", "cp1258",
     ("Xin chào cô", "Đây là bài văn, cô ơi.\r\nCám ơn!"), "B", "8bit"),
    ("iso-8859-1", "iso-8859-1", "latin_1",
     ("Grüße aus Köln", "Voilà, ça marche.\r\nÑandú, ¿sí? ÆØÅ æøå ß"), "Q", "quoted-printable"),
    ("iso-8859-2", "ISO-8859-2", "iso8859_2",
     ("Dobrý den", "Žluťoučký kůň úpěl ďábelské ódy.\r\nZażółć gęślą jaźń."), "B", "8bit"),
    ("iso-8859-3", "ISO_8859-3", "iso8859_3",
     ("Ĉu vi parolas Esperanton?", "Ĝis revido, ŝi manĝas ĉeĥan ĵeleon.\r\nDankon, ŭ!"), "Q",
     "8bit"),
    ("iso-8859-4", "iso-8859-4", "iso8859_4",
     ("Labdien, skolotāj", "Paldies! Ķēķis, ģimene, ņemt.\r\nĄčęėįšųūž"), "Q", "8bit"),
    ("iso-8859-5", "iso-8859-5", "iso8859_5", RU, "B", "8bit"),
    ("iso-8859-6", "iso-8859-6", "iso8859_6", ("مرحبا", "شكرا جزيلا.\r\nمع السلامة"), "B",
     "8bit"),
    ("iso-8859-7", "iso-8859-7", "iso8859_7",
     ("Γειά σου", "Ευχαριστώ πολύ.\r\nΚαλό βράδυ!"), "B", "8bit"),
    ("iso-8859-8", "iso-8859-8-i", "iso8859_8", ("שלום", "תודה רבה.\r\nלהתראות"), "B", "8bit"),
    ("iso-8859-9", "iso-8859-9", "iso8859_9",
     ("Teşekkürler", "İyi günler.\r\nğüşıöç ĞÜŞİÖÇ"), "Q", "8bit"),
    ("iso-8859-10", "iso-8859-10", "iso8859_10",
     ("Buorre beaivi", "Giitu, čáppa ŋ ŧ đ ž š.\r\nÁ Č Đ Ŋ Š Ŧ Ž ð þ"), "Q", "8bit"),
    ("iso-8859-11", "iso-8859-11", "iso8859_11", ("สวัสดี", "นี่คือการบ้านของผม\r\nขอบคุณ"), "B",
     "8bit"),
    ("iso-8859-13", "iso-8859-13", "iso8859_13",
     ("Labas rytas", "Ačiū, mokytoja!\r\nąčęėįšųūž ĀĒĢ „taip“"), "Q", "8bit"),
    ("iso-8859-14", "iso-8859-14", "iso8859_14",
     ("Bore da", "Diolch yn fawr.\r\nŵ ŷ ẁ ẃ ỳ Ŵ Ŷ ḃ"), "Q", "8bit"),
    ("iso-8859-15", "ISO-8859-15", "iso8859_15",
     ("Prix : 15 €", "Œuvre, œil, Šárka, Žofie.\r\nŸ € š ž"), "Q", "8bit"),
    ("iso-8859-16", "iso-8859-16", "iso8859_16",
     ("Bună ziua", "Mulțumesc!\r\nășțîâ ȘȚ Ă Î Â"), "Q", "8bit"),
    ("tis-620", "TIS-620", "tis_620", ("สวัสดีครับ", "นี่คือการบ้านของผม\r\nขอบคุณครับ"), "B",
     "8bit"),
]


def encoded_word(text, label, codec, kind):
    data = text.encode(codec)
    if kind == "B":
        return "=?%s?B?%s?=" % (label, base64.b64encode(data).decode())
    safe = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!*+-/"
    q = "".join(chr(b) if b in safe else "_" if b == 0x20 else "=%02X" % b for b in data)
    return "=?%s?Q?%s?=" % (label, q)


def transfer(body, encoding):
    if encoding == "base64":
        return base64.encodebytes(body).replace(b"\n", b"\r\n")
    if encoding == "quoted-printable":
        import quopri
        return quopri.encodestring(body).replace(b"\r\n", b"\n").replace(b"\n", b"\r\n") + b"\r\n"
    return body + b"\r\n"


def head(subject_field, extra=b""):
    return (b"From: Tutor <tutor@example.org>\r\nTo: pupil@example.org\r\n"
            b"Subject: " + subject_field + b"\r\nMIME-Version: 1.0\r\n" + extra)


def expected(subject, body, attachments=()):
    lines = "Subject: %s\n" % subject
    lines += "".join("Attachment: %s\n" % name for name in attachments)
    return (lines + "\n" + body).encode("utf-8")


def python_reads(message, subject, body, attachments=()):
    """Python's email package reads the message to the same texts."""
    parsed = email.message_from_bytes(message, policy=email.policy.default)
    assert str(parsed["Subject"]) == subject, (str(parsed["Subject"]), subject)
    text = parsed.get_body(("plain",)).get_content() if parsed.is_multipart() \
        else parsed.get_content()
    assert text.replace("\r\n", "\n").rstrip("\n") == body.replace("\r\n", "\n"), (text, body)
    names = [part.get_filename() for part in parsed.iter_attachments()]
    assert names == list(attachments), (names, attachments)


def write(name, message, wanted):
    with open(os.path.join(HERE, name + ".eml"), "wb") as out:
        out.write(message)
    with open(os.path.join(HERE, name + ".expected"), "wb") as out:
        out.write(wanted)


def single(case, label, codec, texts, subject_kind, encoding, check=True):
    subject, body = texts
    message = head(encoded_word(subject, label, codec, subject_kind).encode(),
                   b'Content-Type: text/plain; charset="%s"\r\n' % label.encode() +
                   b"Content-Transfer-Encoding: %s\r\n\r\n" % encoding.encode())
    message += transfer(body.encode(codec), encoding)
    assert body.encode(codec).decode(codec) == body
    if check:
        # Spellings that Python's codecs do not know are read under the codec.
        python_reads(message if knows(label) else message.replace(label.encode(), codec.encode()),
                     subject, body)
    write(case, message, expected(subject, body))


def rfc2231(label, codec, text):
    return label + "''" + urllib.parse.quote(text.encode(codec), safe="")


def with_attachments(case, label, codec, subject, body, names, parameters):
    """A text part and one attachment per name; `parameters` gives the
    Content-Type and Content-Disposition parameters of each."""
    message = head(encoded_word(subject, label, codec, "B").encode(),
                   b'Content-Type: multipart/mixed; boundary="cut"\r\n\r\n')
    message += b"--cut\r\nContent-Type: text/plain; charset=%s\r\n\r\n" % label.encode()
    message += body.encode(codec) + b"\r\n"
    for type_parameter, disposition_parameters in parameters:
        message += b"--cut\r\nContent-Type: application/octet-stream" + type_parameter.encode()
        message += b"\r\nContent-Disposition: attachment" + disposition_parameters.encode()
        message += b"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAEC\r\n"
    message += b"--cut--\r\n"
    python_reads(message, subject, body, names)
    write(case, message, expected(subject, body, names))


def main():
    for case in CASES:
        single(*case)

    # Attachment names: an encoded word in name= (as Japanese mailers write
    # them) and RFC 2231 filename*, continued over sections.
    ja = ["宿題の答え.txt", "日本語の作文.pdf"]
    with_attachments("attachment-iso-2022-jp", "ISO-2022-JP", "iso2022_jp", *JA, ja, [
        ('; name="%s"' % encoded_word(ja[0], "ISO-2022-JP", "iso2022_jp", "B"), ""),
        ("", ";\r\n filename*=" + rfc2231("iso-2022-jp", "iso2022_jp", ja[1])),
    ])
    ko = ["숙제 답안.txt", "한국어 작문 연습.pdf"]
    # Cut between two characters: Python's email decodes each section alone.
    first = rfc2231("euc-kr", "euc_kr", ko[1][:5])
    second = urllib.parse.quote(ko[1][5:].encode("euc_kr"), safe="")
    with_attachments("attachment-euc-kr", "euc-kr", "euc_kr", *KO, ko, [
        ('; name="%s"' % encoded_word(ko[0], "EUC-KR", "euc_kr", "B"), ""),
        ("", ";\r\n filename*0*=%s;\r\n filename*1*=%s" % (first, second)),
    ])

    # Text without a charset, or with a wrong or unknown one: valid UTF-8
    # is UTF-8, anything else Windows-1252.
    envoye = "Envoyé de mon téléphone – à bientôt"
    for case, content_type, data in [
        ("undeclared-utf-8", b"", envoye.encode("utf-8")),
        ("us-ascii-utf-8", b"Content-Type: text/plain; charset=us-ascii\r\n",
         envoye.encode("utf-8")),
        ("undeclared-windows-1252", b"", envoye.encode("cp1252")),
        ("unknown-charset-utf-8", b"Content-Type: text/plain; charset=x-no-such-charset\r\n",
         envoye.encode("utf-8")),
        ("unknown-charset-windows-1252",
         b"Content-Type: text/plain; charset=x-no-such-charset\r\n", envoye.encode("cp1252")),
    ]:
        text = data.decode("utf-8") if is_utf8(data) else data.decode("cp1252")
        write(case, head(b"Envoi", content_type + b"\r\n") + data + b"\r\n",
              expected("Envoi", text))

    # Header texts: 8-bit bytes outside encoded words, read as above, and a
    # character cut between two encoded words of one charset.
    for case, raw in [("raw-subject-utf-8", "Réunion à 10 h".encode("utf-8")),
                      ("raw-subject-windows-1252", "Réunion à 10 h".encode("cp1252"))]:
        subject = raw.decode("utf-8") if is_utf8(raw) else raw.decode("cp1252")
        write(case, head(raw, b"\r\n") + b"x\r\n", expected(subject, "x"))
    for case, label, codec in [("split-word-utf-8", "UTF-8", "utf-8"),
                               ("split-word-euc-kr", "euc-kr", "euc_kr")]:
        data = KO[0].encode(codec)
        words = [base64.b64encode(part).decode() for part in (data[:5], data[5:])]
        field = "=?%s?B?%s?=\r\n =?%s?B?%s?=" % (label, words[0], label, words[1])
        write(case, head(field.encode(), b"\r\n") + b"x\r\n", expected(KO[0], "x"))


def knows(label):
    try:
        codecs.lookup(label)
        return True
    except LookupError:
        return False


def is_utf8(data):
    try:
        data.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


if __name__ == "__main__":
    main()
