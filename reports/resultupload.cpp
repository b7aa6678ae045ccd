#include "reports/resultupload.h"

#include <QMessageBox>

#include "reports/senddialog.h"
#include "reports/uploadmessage.h"

namespace {

const char kNotSent[] = "Nachricht konnte nicht gesendet werden. Bitte prüfen Sie Ihre Internetverbindung bzw. "
                        "versuchen Sie es zu einem späteren Zeitpunkt wieder.";

} // namespace

ResultUpload::ResultUpload(QWidget *window, const QString &productName)
    : window(window), productName(productName)
{
}

void ResultUpload::run(senddialog *&dialog, SendDialogTexts &typed, const QString &log)
{
    delete dialog;
    dialog = new senddialog();
    dialog->setTexts(typed);
    const int answer = dialog->exec();
    typed = dialog->texts();
    if (answer != QDialog::Accepted) {
        delete dialog;
        dialog = nullptr;
        return;
    }
    // Taken now: while the requests wait, the window keeps running and the
    // dialog or the log may change under us.
    const QByteArray message = buildUploadMessage(dialog->manufacturer(), dialog->model(), log);

    if (!client.isReady()) {
        QMessageBox::warning(window, productName + QStringLiteral(" Testprogramm"), QString::fromUtf8(kNotSent),
                             QMessageBox::Ok);
        return;
    }
    const QString title = QStringLiteral("Viviv Testprogramm");
    if (client.send(buildUploadBody(message)))
        QMessageBox::information(window, title, QStringLiteral("Nachricht erfolgreich gesendet! Vielen Dank!"),
                                 QMessageBox::Ok);
    else
        QMessageBox::warning(window, title, QString::fromUtf8(kNotSent), QMessageBox::Ok);
}
