#include "reports/uploadmessage.h"

#include <QUrl>
#include <QVector>

QString wrapLogForUpload(const QString &log)
{
    // Walks code points, so a break never splits a surrogate pair.
    QVector<char32_t> out;
    int counter = 0;
    for (const uint c : log.toUcs4()) {
        if (c == '\n') {
            counter = 0;
        } else if (++counter == kUploadLineLength) {
            out << U'\n';
            counter = 0;
        }
        out << char32_t(c);
    }
    return QString::fromUcs4(out.constData(), out.size());
}

QByteArray buildUploadMessage(const QString &manufacturer, const QString &model, const QString &log)
{
    return "Hersteller: " + manufacturer.toUtf8() + '\n' + "Modell: " + model.toUtf8() + "\n\n"
           + wrapLogForUpload(log).toUtf8();
}

QByteArray buildUploadBody(const QByteArray &message)
{
    return "viviv&subject=Viviv_Testprogramm&message=" + QUrl::toPercentEncoding(QString::fromLatin1(message.toBase64()));
}

bool answerBeginsWith(const QByteArray &answer, const char *word)
{
    const int nul = answer.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? answer : answer.left(nul)).startsWith(QLatin1String(word));
}
