#include "app/werbung.h"
#include "app/ui_werbung.h"

werbung::werbung(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::werbung)
{
    ui->setupUi(this);
    setFixedSize(807, 477);
    // Fonts wider than the form's leave the link cut off: let it grow to the
    // left and keep its right edge.
    const QRect link = ui->label_2->geometry();
    const int needed = ui->label_2->sizeHint().width();
    if (needed > link.width())
        ui->label_2->setGeometry(link.right() + 1 - needed, link.y(), needed, link.height());
}

werbung::~werbung()
{
    delete ui;
}

void werbung::on_pushButtonClose_clicked()
{
    reject();
}
