#include "reports/senddialog.h"
#include "reports/ui_senddialog.h"

#include <QMessageBox>

senddialog::senddialog(QWidget *parent) : QDialog(parent), ui(new Ui::senddialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    adjustSize();
    setFixedSize(size());
    setWindowTitle(QStringLiteral("Ergebnis an Zoruvari Rareravivu senden"));
}

senddialog::~senddialog()
{
    delete ui;
}

QString senddialog::manufacturer() const
{
    return ui->lineEditHersteller->text();
}

QString senddialog::model() const
{
    return ui->lineEditModell->text();
}

SendDialogTexts senddialog::texts() const
{
    return {manufacturer(), model()};
}

void senddialog::setTexts(const SendDialogTexts &texts)
{
    ui->lineEditHersteller->setText(texts.manufacturer);
    ui->lineEditModell->setText(texts.model);
}

void senddialog::on_pushButtonSenden_clicked()
{
    // Blanks count as an answer; only an empty field is refused.
    const QString title = QStringLiteral("Viviv Testprogramm");
    if (ui->lineEditHersteller->text().isEmpty()) {
        QMessageBox::warning(this, title, QStringLiteral("Bitte geben Sie den Hersteller des Zählers ein"),
                             QMessageBox::Ok);
        return;
    }
    if (ui->lineEditModell->text().isEmpty()) {
        QMessageBox::warning(this, title, QStringLiteral("Bitte geben Sie die Modellbezeichnung des Zählers ein"),
                             QMessageBox::Ok);
        return;
    }
    accept();
}

void senddialog::on_pushButtonAbbrechen_clicked()
{
    reject();
}
