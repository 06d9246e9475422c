#pragma once
// A script as the Windows control writes it: lines of about 80 characters, each
// with a bold red step marker ("{{n}}", its braces escaped) and umlauts as \'xx;
// some 100 bytes of RTF a line.

#include <QByteArray>

namespace bench_script {

inline QByteArray ScriptRtf(int lines)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                     "{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    for (int i = 0; i < lines; ++i)
        rtf += "Auftritt der Gr\\'fc\\'dfen \\cf1\\b \\{\\{" + QByteArray::number(i + 1) +
               "\\}\\}\\cf0\\b0  und Text bis zum Ende der Zeile im Skript.\\par\r\n";
    return rtf + "}\r\n";
}

}   // namespace bench_script
