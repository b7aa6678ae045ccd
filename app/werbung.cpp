#include "werbung.h"
#include "ui_werbung.h"

werbung::werbung(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::werbung)
{
    ui->setupUi(this);
    setFixedSize(807, 477);
}

werbung::~werbung()
{
    delete ui;
}

void werbung::on_pushButtonClose_clicked()
{
    reject();
}
