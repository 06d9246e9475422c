#pragma once
// The one text codec at every boundary between program text and bytes.
//   decode: UTF-8 when the bytes are valid UTF-8, else Windows-1252;
//   encode: Windows-1252 when every character fits, else UTF-8.
// Files written by the original program thus load unchanged, and files that hold
// only Western text stay readable by it.

#include <QByteArray>
#include <QString>
#include <QStringList>

bool IsValidUtf8(const QByteArray& bytes);
QString DecodeWindows1252(const QByteArray& bytes);
// Fills out and returns true when every character has a Windows-1252 byte.
bool EncodeWindows1252(const QString& text, QByteArray& out);

QString DecodeText(const QByteArray& bytes);   // a leading UTF-8 byte order mark is dropped
QByteArray EncodeText(const QString& text);

// Splits text at CR LF, LF or lone CR. A final line break yields no empty last line.
QStringList SplitLines(const QString& text);
// Joins lines with CR LF after every line (also after the last).
QString JoinLinesCrLf(const QStringList& lines);

// Reads a whole text file through DecodeText. False (text empty) when it cannot be read.
bool ReadTextFile(const QString& path, QString& text);
// Writes the lines with CR LF through EncodeText with WriteBytesAtomic (uAtomicFile):
// the target is never half-written; on failure EPvError with the reason is raised
// and the old file stays.
void WriteTextFileAtomic(const QString& path, const QStringList& lines);
