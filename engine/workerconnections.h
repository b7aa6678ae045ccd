#pragma once

#include <QObject>

#include "engine/serialclass.h"

// The twelve connections between a front end and the worker, in the window's
// order. A front end declares the worker's four requests as its signals and
// the eight answers as its slots, under the worker's names. Each keeps the
// automatic type: the worker lives in a thread of its own, so every
// connection is queued and copies its arguments.
template <typename FrontEnd>
void connectWorker(FrontEnd *frontEnd, serialclass *worker)
{
    QObject::connect(frontEnd, &FrontEnd::signalStartTest, worker, &serialclass::slotStartTest);
    QObject::connect(frontEnd, &FrontEnd::signalLesekopfStartTest, worker, &serialclass::slotLesekopfStartTest);
    QObject::connect(frontEnd, &FrontEnd::signalConnectSerialPort, worker, &serialclass::slotConnectSerialPort);
    QObject::connect(frontEnd, &FrontEnd::signalDisconnectSerialPort, worker, &serialclass::slotDisconnectSerialPort);
    QObject::connect(worker, &serialclass::signalConnectSerial_Success, frontEnd, &FrontEnd::slotConnectSerial_Success);
    QObject::connect(worker, &serialclass::signalUpdateStatuBar, frontEnd, &FrontEnd::slotUpdateStatuBar);
    QObject::connect(worker, &serialclass::signalUpdateStatusText, frontEnd, &FrontEnd::slotUpdateStatusText);
    QObject::connect(worker, &serialclass::signalTestFinished, frontEnd, &FrontEnd::slotTestFinished);
    QObject::connect(worker, &serialclass::signalUpdateErgebnis, frontEnd, &FrontEnd::slotUpdateErgebnis);
    QObject::connect(worker, &serialclass::signalConnectSerial_Fail, frontEnd, &FrontEnd::slotConnectSerial_Fail);
    QObject::connect(worker, &serialclass::signalUpdateParserErgebnis, frontEnd, &FrontEnd::slotUpdateParserErgebnis);
    QObject::connect(worker, &serialclass::signalUpdateResultForPrint, frontEnd, &FrontEnd::slotUpdateResultForPrint);
}
