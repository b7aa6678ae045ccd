#include "werbung.h"

werbung::werbung(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Viviv"));
}
