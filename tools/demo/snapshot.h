#pragma once

#include <QObject>
#include <QString>

class QWidget;

// Drives the window like a user (choose port, connect, start, wait for the
// end), saves a picture of it (and, if asked, one before the start) and
// quits: for the documentation's screenshots.
class Snapshot : public QObject
{
public:
    Snapshot(QWidget *window, QString port, QString file, QString fileBefore = {});
    void start();

private:
    void step();

    QWidget *window;
    QString port;
    QString file;
    QString fileBefore;
    int stage = 0;
    int ticks = 0;
};
