#pragma once

#include <QString>

#include "reports/reportserverclient.h"

class QWidget;
class senddialog;
struct SendDialogTexts;

// The user's side of sending a result: asks for manufacturer and model,
// sends the log to the report server and tells how it went.
class ResultUpload
{
public:
    ResultUpload(QWidget *window, const QString &productName);

    // The server it talks to; tests point it elsewhere.
    ReportServerClient &server() { return client; }

    // dialog is the window's reference to the last upload's dialog: replaced
    // here, kept after a confirmed upload and cleared after a cancelled one.
    // typed holds what the user typed into the last dialog, sent or not; the
    // new dialog starts with it, so a failed upload is repeated without typing.
    void run(senddialog *&dialog, SendDialogTexts &typed, const QString &log);

private:
    QWidget *window;
    QString productName;
    ReportServerClient client;
};
