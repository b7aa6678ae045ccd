#pragma once

#include <QDialog>

// Advertising dialog shown once at exit in the maker's edition.
// SCAFFOLDING: a plain dialog until its form lands with the window work.
class werbung : public QDialog
{
    Q_OBJECT

public:
    explicit werbung(QWidget *parent = nullptr);
};
