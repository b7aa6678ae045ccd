#pragma once

#include <QByteArray>
#include <QString>

// Longest log line in an uploaded message, in characters.
constexpr int kUploadLineLength = 1000;

// Hard-wraps the log so that no line reaches kUploadLineLength characters:
// the first piece of a long run holds 999 characters, each further one 1000.
QString wrapLogForUpload(const QString &log);

// "Hersteller: ...", "Modell: ...", a blank line and the wrapped log, as UTF-8.
QByteArray buildUploadMessage(const QString &manufacturer, const QString &model, const QString &log);

// The form body of the post. The Base64 text is percent-encoded, so that a
// standard form decoder does not turn its "+" into blanks.
QByteArray buildUploadBody(const QByteArray &message);

// Whether a server answer, read as UTF-8 up to its first NUL, begins with word.
bool answerBeginsWith(const QByteArray &answer, const char *word);
