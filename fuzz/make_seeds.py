#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/: a few small inputs per target
that reach the interesting paths at once. Run again after changing an input's layout."""
import os
import shutil
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

# Texts in GBK: 周杰伦 稻香, 王菲 with a ']' trail byte, a full-width space, the euro
# byte, a user-defined code, an unassigned pair, a stray byte and a lead byte at the end.
ZHOU = "周杰伦".encode("gbk")
DAOXIANG = "稻香".encode("gbk")
WANGFEI = "王菲".encode("gbk") + b"\x81\x5d"
HONGDOU = "红豆".encode("gbk")
FULL_SPACE = b"\xa1\xa1"


def record(singer, name, address, end=b"\n"):
    return (b"<song>" + end + b"<xsinger_name><![CDATA[" + singer + b" ]]></xsinger_name>" + end
            + b"<xsong_name><![CDATA[" + name + b" ]]></xsong_name>" + end
            + b"<xsong_url><![CDATA[" + address + b" ]]></xsong_url>" + end + b"</song>" + end)


def answer(records, end=b"\n"):
    return (b'<?xml version="1.0" encoding="GB2312"?>' + end + b"<playlist>" + end
            + b"".join(records) + b"</playlist>" + end)


THREE = answer([
    record(ZHOU, DAOXIANG, b"http://music.example/1.mp3"),
    record(WANGFEI, HONGDOU, b"http://music.example/2.wma?a=1&b=2"),
    record(b"", "一路向北".encode("gbk"), b"http://music.example/3.mp3"),
])


def provider_string(data):
    """Bytes that FuzzedDataProvider::ConsumeRandomLengthString gives back as data."""
    return data.replace(b"\\", b"\\\\") + b"\\ "


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def gbk():
    write("gbk_fuzz", "songs", ZHOU + b" " + DAOXIANG + b"\n" + WANGFEI + HONGDOU)
    write("gbk_fuzz", "mixed", b"ascii run of more than eight " + FULL_SPACE + ZHOU + b"\x80"
          + b"\xaa\xa1" + b"\xa2\xa0" + b"\xff" + b"abc\x81")
    write("gbk_fuzz", "utf8", "稻香 – “引号” €😀".encode("utf-8") + b"\xc3\x28\xed\xa0\x80")
    write("gbk_fuzz", "utf16", "周杰伦 稻香".encode("utf-16-le") + b"\x00\xd8\x41\x00\x3d\xd8\x00\xde")


def text():
    # Read from the end: ignoreCase, whether a start is given, the start; then from the
    # front the needle, then the haystack.
    tail = lambda start, ignore: (struct.pack("<i", start)[::-1] + b"\x01" + bytes([ignore])
                                  if start is not None else b"\x00" + bytes([ignore]))
    write("text_fuzz", "trail-byte", provider_string(b"]") + WANGFEI + b"]" + tail(None, 0))
    write("text_fuzz", "spaces", provider_string(b"B") + b"  " + FULL_SPACE + b"abc" + FULL_SPACE
          + b" \x81" + tail(3, 1))
    write("text_fuzz", "empty-needle", provider_string(b"") + b"abc\x00def" + tail(-7, 0))


def matcher():
    write("matcher_fuzz", "three-songs", THREE)
    write("matcher_fuzz", "crlf-and-case", answer([record(ZHOU, DAOXIANG, b"x", b"\r\n")], b"\r\n")
          + record(b"A", b"B", b"C").replace(b"CDATA", b"cdata"))
    write("matcher_fuzz", "cdata-line", b"[CDATA[" * 60 + b" ]]></xsinger_name>\n")


def regexp():
    # From the end: ignoreCase, multiline, global, pattern in UTF-16, subject widened;
    # from the front: pattern, replacement, subject.
    def seed(pattern, replacement, subject, ignore=0, multiline=1, global_=1):
        return (provider_string(pattern) + provider_string(replacement) + subject
                + bytes([1, 0, global_, multiline, ignore]))
    write("regexp_fuzz", "playlist", seed(b"\\[CDATA\\[(.*?)\\s\\]\\]></x", b"<$1>", THREE[:300]))
    write("regexp_fuzz", "lookaround", seed(b"(?<=a)(b)?|(?=c)|^$", b"$$$&$`$'$2$10", b"abc\nacb\n\nab"))
    write("regexp_fuzz", "backtracking", seed(b"(a+)+$|(x*)*y", b"$1", b"a" * 40 + b"!", ignore=1))


def fetch():
    # First byte: length of the edit box text (mod 16); second: the body cap; then the
    # box text, then the reply as sent.
    def seed(box, reply, cap=0):
        return bytes([len(box), cap]) + box + reply
    head = lambda status, fields=b"": b"HTTP/1.0 " + status + b"\r\n" + fields + b"\r\n"
    write("fetch_fuzz", "three-songs", seed(b"1234567890",
          head(b"200 OK", b"Content-Length: %d\r\n" % len(THREE)) + THREE))
    write("fetch_fuzz", "redirect-to-itself", seed(b" 42 ",
          head(b"302 Found", b"Location: /fcg-bin/cgi_playlist_xml.fcg?uin=7\r\n")))
    write("fetch_fuzz", "redirect-away", seed(b"\xb0\xa1 \r\n",
          head(b"301 Moved", b"Location: http://192.0.2.1:8080/x\r\n")))
    write("fetch_fuzz", "not-found", seed(b"", head(b"404 Not Found") + b"gone"))
    chunked = b"%x\r\n" % len(THREE[:200]) + THREE[:200] + b"\r\n%x\r\n" % len(THREE[200:]) \
        + THREE[200:] + b"\r\n0\r\n\r\n"
    write("fetch_fuzz", "chunked", seed(b"1",
          b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked, cap=2))


def list_writer():
    # Rows and numbers as the fuzzer's data provider takes them apart: a row count, then
    # strings ended by a lone backslash; a formula cell, a quote, a line break and GBK
    # pairs whose trail bytes are '[' and ']'.
    write("list_writer_fuzz", "empty", b"\x00\x00")
    write("list_writer_fuzz", "two_rows",
          b"\x02" + DAOXIANG + b"-" + ZHOU + b"\\http://m.example/1.mp3\\1234\\=cmd,\"x\"\\a\nb\r"
          b"\\\\\x011234\\QQ:1234\\\x01")
    write("list_writer_fuzz", "gbk_trail", b"\x01\x81]\x81[,\\http://x/\\\\\x00")


if __name__ == "__main__":
    shutil.rmtree(ROOT, ignore_errors=True)
    for make in (gbk, text, matcher, regexp, list_writer, fetch):
        make()
