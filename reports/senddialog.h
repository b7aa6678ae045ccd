#pragma once

#include <QDialog>

// What the user typed into the dialog; the window keeps it for the next one.
struct SendDialogTexts
{
    QString manufacturer;
    QString model;
};

namespace Ui {
class senddialog;
}

// Asks for the meter's manufacturer and model before a result is sent.
class senddialog : public QDialog
{
    Q_OBJECT

public:
    explicit senddialog(QWidget *parent = nullptr);
    ~senddialog() override;

    QString manufacturer() const;
    QString model() const;
    SendDialogTexts texts() const;
    void setTexts(const SendDialogTexts &texts);

private slots:
    void on_pushButtonSenden_clicked();
    void on_pushButtonAbbrechen_clicked();

private:
    Ui::senddialog *ui;
};
