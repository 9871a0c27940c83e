#!/usr/bin/env python3
"""Writes the INI corpus that ini_diff runs through the system's profile
reader and ours. The files are kept in git; run this again after changing
it: python3 make_corpus.py corpus"""
import os
import random
import sys

FILES = {}


def add(name, data):
    FILES[name] = data if isinstance(data, bytes) else data.encode("latin-1")


add("basic.ini", "[Quelta]\nDISTRIBUTION=TRUE\nQTI_VERSION=1.2.3.4.5\nJRE_LOCATION=..\\jre\\1.4\n"
    "[Certified Versions]\nWindows=5.0,5.1,5.2,6.0,6.1\n")
add("crlf.ini", "[Quelta]\r\nKEY=crlf value\r\nOTHER = spaced \r\n\r\n[Next]\r\nKEY=next\r\n")
add("cr_only.ini", "[Quelta]\rKEY=cr value\rOTHER=second\r[Next]\rKEY=next\r")
add("mixed_line_ends.ini", "[Quelta]\nA=lf\r\nB=crlf\n\rC=lfcr\r\r\nD=crcrlf\n\n\nE=last")
add("no_trailing_newline.ini", "[Quelta]\nFIRST=1\nLAST=no newline after me")
add("no_trailing_newline_section.ini", "KEY=before\n[Quelta]")
add("duplicate_sections.ini", "[Quelta]\nA=first section\nB=only in first\n[Other]\nA=other\n"
    "[QUELTA]\nA=second section\nC=only in second\n[quelta]\nD=only in third\n")
add("duplicate_keys.ini", "[Quelta]\nKEY=first\nkey=second\n  Key  =  third\nEMPTY=\nEMPTY=later\n"
    "NOEQ\nNOEQ=after no equals\n")
add("blanks.ini", "  [Quelta]  \n\tKEY\t=\tvalue with tabs\t\n   SPACED   =   a  b  c   \n"
    "[ Padded ]\nKEY=padded section\n[Trail ]\nKEY=trail\n[\tTab]\nKEY=tab\n"
    "[Ctl]\nVT=\x0bvertical tab\x0b\nFF=\x0cform feed\x0c\nSUB=\x1aeof mark\x1a\n"
    "\x1aLEAD=sub before name\n")
add("quotes.ini", "[Quelta]\nDQ=\"double quoted\"\nSQ='single quoted'\nDQ_PAD=  \" padded inside \"  \n"
    "OPEN=\"unbalanced\nCLOSE=unbalanced\"\nMIXED=\"mixed'\nMIXED2='mixed\"\nONE=\"\nONE_S='\n"
    "TWO=\"\"\nTWO_S=''\nTHREE=\"\"\"\nINNER=a \"quoted\" word\nNEST=\"'nested'\"\n"
    "ENDS=\"a\" and \"b\"\nSPACE_IN=\" \"\nX=\"x\"\n")
add("comments.ini", "; leading comment\n# hash comment\n[Quelta]\n; KEY=in a comment\n;KEY=commented\n"
    "#HASH=commented\nKEY=real ; not a comment\nHASHV=value # not a comment\n  ; indented comment\n"
    "[;Section]\nKEY=semicolon section\n")
add("bom_utf8.ini", b"\xef\xbb\xbf[Quelta]\nKEY=after bom\n[Second]\nKEY=two\n")
add("bom_utf8_key_first.ini", b"\xef\xbb\xbfKEY=no section\n[Quelta]\nKEY=in section\n")
add("bom_in_middle.ini", b"[Quelta]\n\xef\xbb\xbfKEY=bom bytes before the name\nK2=v\xef\xbb\xbf\n")
text16 = "[Quelta]\r\nKEY=utf16 value\r\nSPACED = x \r\n"
add("bom_utf16le.ini", b"\xff\xfe" + text16.encode("utf-16-le"))
add("bom_utf16be.ini", b"\xfe\xff" + text16.encode("utf-16-be"))

v1500 = "".join(chr(ord("a") + i % 26) for i in range(1500))
add("long_values.ini", "[Quelta]\nV1500=" + v1500 + "\nV1022=" + v1500[:1022] + "\nV1023=" + v1500[:1023] +
    "\nV1024=" + v1500[:1024] + "\nQ1021=\"" + v1500[:1021] + "\"\nQ1022=\"" + v1500[:1022] +
    "\"\nQ1023=\"" + v1500[:1023] + "\"\nQ1024=\"" + v1500[:1024] + "\"\nPAD1023=  " + v1500[:1023] +
    "   \nAFTER=after\n")
add("long_line.ini", "[Quelta]\nLONG=" + "x" * 100000 + "\n" + "N" * 100000 + "\nAFTER=after long lines\n"
    "[" + "S" * 100000 + "]\nKEY=in long section\n")
add("no_equals.ini", "[Quelta]\nJUSTNAME\n  PADDED NAME  \nKEY=value\nJUSTNAME=second\n")
add("empty_sections.ini", "[Empty]\n[Quelta]\nKEY=v\n[]\nKEY=in unnamed section\n[Empty2]\n\n[Last]\n")
add("before_section.ini", "KEY=before any section\nOTHER=x\n[Quelta]\nKEY=in section\n")
add("bracket_unclosed.ini", "[Quelta\nKEY=after unclosed\n[Real]\nKEY=real\n[Trailing] junk\nKEY=t\n"
    "[a]b]\nKEY=inner bracket\n[x]=y\nKEY=eq section\n[Quelta]\n[NOKEY=1\n")
add("nul_bytes.ini", "[Quelta]\nKEY=before\x00after\nK\x00EY2=name with nul\n\x00LEAD=nul first\n"
    "VAL=\"q\x00\"\n[Se\x00c]\nKEY=nul section\n[Sec]\nKEY=plain\n")
rng = random.Random(20240611)
binary = bytes(rng.randrange(256) for _ in range(8192))
add("binary.bin", b"\x7fBIN" + binary)
add("binary_with_section.bin", bytes(rng.randrange(256) for _ in range(512)) +
    b"\n[Quelta]\nKEY=inside binary\n" + bytes(rng.randrange(256) for _ in range(512)))
add("empty.ini", b"")
add("blank_lines_only.ini", "\n\n  \n\t\r\n")
add("inner_blanks_section.ini", "[Certified Versions]\nWindows=5.1\n[Two  Blanks]\nKEY=two\n"
    "[Tab\tInside]\nKEY=tab\n[ Lead And Trail ]\nKEY=lt\n")
add("equals_in_value.ini", "[Quelta]\nJAVA_OPTS=-Dx=1 -Dy=2\nDOUBLE==starts with equals\n"
    "SPACED = = spaced\nURL=http://h/?a=b&c=d\n")
add("empty_value.ini", "[Quelta]\nEMPTY=\nBLANKS=     \nTABS=\t\t\nQUOTES=\"\"\nSET=set\n")
add("empty_key_name.ini", "[Quelta]\n=first unnamed\n=second unnamed\nKEY=k\n = third unnamed\n"
    "[Second]\nKEY=k\n   =unnamed after named\n")
add("case.ini", "[QuElTa]\nkEy=mixed\nLOWER=x\n[quelta]\nOTHER=second\n[CERTIFIED versions]\nwindows=6.1\n")
add("high_bytes.ini", "[Quelta]\nNAIVE=na\xc3\xafve caf\xc3\xa9 inside\nLATIN=caf\xe9 na\xefve\n"
    "CL\xc3\xa9=utf8 name\nEURO=\x80 euro\n")
add("control_chars.ini", "[Quelta]\nFS=\x1cfile sep\x1c\nUS=\x1funit sep\x1f\nBEL=\x07bell\x07\n"
    "ESC=\x1besc\x1b\nDEL=\x7fdel\x7f\n")
add("many_keys.ini", "[Quelta]\n" + "".join("KEY%d=value %d\n" % (i, i) for i in range(2000)))
add("qelparam.ini", "[Quelta]\nDISTRIBUTION=TRUE\nQTI_VERSION=10.2.0.1.0\nJRE_VERSION=1.4.2\n"
    "JRE_LOCATION=..\\stage\\Components\\jre\\1.4.2\\1\\DataFiles\\Expanded\\jre\\win32\n"
    "JRE_MEMORY_OPTIONS=\" -mx150m\"\nBOOTSTRAP=TRUE\nBOOTSTRAP_SIZE=45\n"
    "INSTALL_CLASS=quelta.admkit.qsi.qsic.QsicInstaller\nBOOTSTRAP_COMPS=a,,b,\n"
    "WAIT_FOR_COMPLETION=FALSE\nNLS_ENABLED=TRUE\n\n[Certified Versions]\n"
    "# set CERTIFIED_VERSION_FAILURE_MESSAGE for a text of your own\n"
    "Windows=5.0,5.1,5.2,6.0,6.1\n\n[Windows-6.1-required]\n# display colours the installer needs\n"
    "MIN_DISPLAY_COLORS=256\n# processor speed in MHz\n#CPU=300\n")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "corpus"
    os.makedirs(out, exist_ok=True)
    for name, data in FILES.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
