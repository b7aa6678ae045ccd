#pragma once

#include <QDialog>

namespace Ui {
class werbung;
}

// Advertising picture with a link to the web shop, shown once at exit in the maker's edition.
class werbung : public QDialog
{
    Q_OBJECT

public:
    explicit werbung(QWidget *parent = nullptr);
    ~werbung() override;

private slots:
    void on_pushButtonClose_clicked();

private:
    Ui::werbung *ui;
};
