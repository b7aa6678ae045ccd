#pragma once

#include <QByteArray>
#include <QMap>

// Decodes an application/x-www-form-urlencoded body as browsers and web
// servers do: pairs split at "&", name and value at the first "=", "+" read
// as a blank, then percent escapes. A "%" without two hex digits after it
// makes the body malformed: the result is then false.
bool decodeFormBody(const QByteArray &body, QMap<QByteArray, QByteArray> &fields);
