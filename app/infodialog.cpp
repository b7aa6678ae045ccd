#include "app/infodialog.h"
#include "app/ui_infodialog.h"

Infodialog::Infodialog(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::Infodialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    adjustSize();
    setFixedSize(size());
    setWindowTitle(QStringLiteral("Lesekopf testen"));
}

Infodialog::~Infodialog()
{
    delete ui;
}

void Infodialog::on_buttonBox_accepted()
{
    accept();
}

void Infodialog::on_buttonBox_rejected()
{
    reject();
}
