#pragma once

#include <QDialog>

namespace Ui {
class Infodialog;
}

// Explains the read-head loopback test before it runs; OK starts it.
class Infodialog : public QDialog
{
    Q_OBJECT

public:
    explicit Infodialog(QWidget *parent = nullptr);
    ~Infodialog() override;

private slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    Ui::Infodialog *ui;
};
