#!/usr/bin/env python3
"""Writes the seed corpora fuzz/corpus/<target>/: small real inputs in each
target's input format, so that a run starts from real shapes. Run from the
repository's root; fuzz_fix_index's seeds are index files the program wrote
(see docs/FUZZING.md)."""
import glob
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

SIMP = "头发干了，中华人民共和国的发展。简体中文 abc 123\n"
TRAD = "頭髮乾了，中華人民共和國的發展。繁體中文 abc 123\n"
ENC = {  # TextEncoding: 0 UTF-16LE, 1 UTF-16BE, 2 UTF-8, 3 GBK, 4 Big5, 5 unknown
    0: lambda t: "\ufeff".encode("utf-16-le") + t.encode("utf-16-le"),
    1: lambda t: "\ufeff".encode("utf-16-be") + t.encode("utf-16-be"),
    2: lambda t: t.encode("utf-8"),
    3: lambda t: t.encode("gbk"),
    4: lambda t: t.encode("big5", "replace"),
}


def write(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def main():
    # fuzz_convert_stream: byte 0 = source + 6 * target, byte 1 = direction (+0x80 signature).
    for src, enc in ENC.items():
        for text, direction in ((SIMP, 0), (TRAD, 1)):
            tgt = 2 if src != 2 else 3
            if src == 4 and direction == 0:
                continue
            body = enc(text)
            write("convert_stream", f"src{src}_tgt{tgt}_dir{direction}",
                  bytes([src + 6 * tgt, direction | 0x80]) + body)
        write("convert_stream", f"src{src}_none", bytes([src + 6 * src, 2]) + enc(SIMP))
    write("convert_stream", "unknown_source", bytes([5 + 6 * 2, 0]) + SIMP.encode("gbk"))

    # fuzz_detect_encoding: the raw text in each encoding, and plain ASCII.
    for src, enc in ENC.items():
        write("detect_encoding", f"enc{src}", enc(TRAD if src == 4 else SIMP))
    write("detect_encoding", "ascii", b"plain ASCII text\n")
    write("detect_encoding", "utf8_no_cjk", "café naïve\n".encode("utf-8"))

    # fuzz_apply_fix: byte 0 bit 0 = table (0 B5fix on Big5 text, 1 GBfix on GBK
    # text), bit 1 = the mapping's direction.
    write("apply_fix", "b5fix_big5", bytes([0]) + TRAD.encode("big5"))
    write("apply_fix", "gbfix_gbk", bytes([1]) + SIMP.encode("gbk"))
    write("apply_fix", "b5fix_mapped_from_gbk", bytes([2]) + SIMP.encode("gbk"))
    write("apply_fix", "gbfix_mapped_from_big5", bytes([3]) + TRAD.encode("big5"))

    # fuzz_convert_script: UTF-16LE units and the same bytes as a stream.
    write("convert_script", "utf16le_simp", SIMP.encode("utf-16-le"))
    write("convert_script", "utf16le_trad", TRAD.encode("utf-16-le"))
    write("convert_script", "utf8_mixed", (SIMP + TRAD + "𠀀 emoji 😀").encode("utf-8"))

    # fuzz_page: byte 0 bit 0 = AlterWBCharset, then the page.
    pages = sorted(glob.glob(os.path.join(os.path.dirname(ROOT), "..", "tests", "data",
                                          "pages", "*.html")))
    for i, page in enumerate(pages):
        with open(page, "rb") as f:
            body = f.read()
        write("page", f"{os.path.basename(page)}.{i & 1}", bytes([i & 1]) + body)
    write("page", "gb2312_page", bytes([1]) + (
        '<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312">'
        '<title>简体</title><style>body{font-family:"宋体"}</style></head>'
        '<body><font face="宋体">中华</font><img alt="头发" title="发展">'
        '<input value="简体"><a href="?q=中文">链接</a></body></html>').encode("gbk"))

    # fuzz_url_pattern: byte 0 = code page (1252, 936, 950, 65001), byte 1 = the
    # pattern's length, the pattern, the URL.
    for cp, pattern, url in ((0, "*.example.com/*", "http://www.example.com/a/b.html"),
                             (1, "http://news.*.cn/??/*", "http://news.sina.cn/ab/index.html"),
                             (3, "*中文*", "http://host/中文/page"),
                             (0, "[abc]*.org", "http://b.org"),
                             (0, "**a**a**a**b", "http://" + "a" * 40)):
        p = pattern.encode("utf-8")
        write("url_pattern", f"cp{cp}_{len(p)}", bytes([cp, len(p)]) + p + url.encode("utf-8"))

    # fuzz_user_fix_file: a user emendation file (Big5 comma lines).
    write("user_fix_file", "big5_lines", "頭發,頭髮\r\n干了,幹了\r\n\r\n; note\r\n".encode("big5"))
    write("user_fix_file", "gbk_lines", "头发,头发\n干部,干部\n".encode("gbk"))

    # fuzz_ini: byte 0 = code page, then Quillmer.ini.
    ini = ("; Quillmer settings\r\n[General]\r\nAutoConvert=2\r\nAlterWBCharset=1\r\n"
           "[Interface]\r\nCaption=Quillmer\r\n[AutoZoom]\r\nCount=2\r\n"
           "Zoom1=150\r\nUrl1=*.example.com/*\r\nZoom2=-1\r\nUrl2=http://x/*\r\n"
           "[HotKeys]\r\nHotKey1=16468\r\n[Text_Convert]\r\nUserFix=1\r\n")
    write("ini", "cp1252", bytes([0]) + ini.encode("ascii"))
    write("ini", "cp936", bytes([1]) + ini.replace("Quillmer", "繁简转换").encode("gbk"))
    write("ini", "utf8_bom", bytes([3]) + b"\xef\xbb\xbf" + ini.encode("utf-8"))


if __name__ == "__main__":
    main()
