#pragma once

#include <QString>

class QFontMetricsF;

// Raw data as it can be printed: each control character becomes a readable
// mark ("<STX>", "<ETX>"), and any other character the font cannot show its
// code ("<U+FFFF>"), so that the page shows no empty boxes.
QString withReadableMarks(const QString &line, const QFontMetricsF &metrics);
