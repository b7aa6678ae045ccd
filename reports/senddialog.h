#pragma once

#include <QDialog>

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

private slots:
    void on_pushButtonSenden_clicked();
    void on_pushButtonAbbrechen_clicked();

private:
    Ui::senddialog *ui;
};
