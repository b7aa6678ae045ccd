#include <QApplication>

#include "app/mainwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto *window = new MainWindow();
    window->show();
    const int rc = app.exec();
    delete window; // may show the exit dialog of the maker's edition
    return rc;
}
