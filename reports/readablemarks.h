#pragma once

#include <QString>

class QRawFont;

// Raw data as it can be printed: each control character becomes a readable
// mark ("<STX>", "<ETX>"), and any other character the font itself cannot
// show its code ("<U+FFFD>"), so that the page shows no empty boxes and no
// glyphs of a stand-in font.
QString withReadableMarks(const QString &line, const QRawFont &font);
