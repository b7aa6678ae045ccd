#include "engine/answerread.h"

#include <QDeadlineTimer>

#include "engine/telegramsteps.h"
#include "engine/testlink.h"

bool readAnswer(TestLink &link, QByteArray &buffer, const AnswerWindow &window,
                const std::function<bool(const QByteArray &)> &complete, const QString &progressPrefix)
{
    const QDeadlineTimer end(window.maxMs, Qt::PreciseTimer);
    QDeadlineTimer next(window.firstMs, Qt::PreciseTimer);
    for (;;) {
        if (link.appendAvailable(buffer, progressPrefix) > 0)
            next = QDeadlineTimer(window.silenceMs, Qt::PreciseTimer);
        if (complete(buffer))
            return true;
        const qint64 left = qMin(next.remainingTime(), end.remainingTime());
        if (left <= 0)
            return false;
        link.waitForInput(int(left));
    }
}

bool readoutComplete(const QByteArray &buffer)
{
    const int ident = meterIdentificationStart(buffer);
    const int etx = ident < 0 ? -1 : blockEnd(buffer.mid(ident));
    return etx >= 0 && ident + etx + 1 < buffer.size();
}
