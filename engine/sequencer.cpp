#include "serialclass.h"

#include "interruptiblewait.h"

// SCAFFOLDING until the test chain lands: a start request blocks for 5 s in
// interruptible slices and then reports failure, so the window's cycle and
// the quit path can be exercised for real.
void serialclass::slotStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace)
{
    Q_UNUSED(Passwort);
    Q_UNUSED(TestMode);
    Q_UNUSED(Interace);
    interruptiblewait::sleepMs(5000);
    emit signalUpdateErgebnis(QStringLiteral("nicht erfolgreich"), QStringLiteral("-"), QStringLiteral("-"));
    emit signalUpdateStatuBar(QStringLiteral("Test beendet!"));
    emit signalTestFinished();
}

void serialclass::slotLesekopfStartTest()
{
    interruptiblewait::sleepMs(5000);
    emit signalUpdateErgebnis(QStringLiteral("nicht erfolgreich"), QStringLiteral("-"), QStringLiteral("-"));
    emit signalUpdateStatuBar(QStringLiteral("Test beendet!"));
    emit signalTestFinished();
}
