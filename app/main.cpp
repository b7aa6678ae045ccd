#include <QApplication>

#include "app/mainwindow.h"
#include "app/qttranslations.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQtTranslations(app);
    auto *window = new MainWindow();
    window->show();
    const int rc = app.exec();
    delete window; // may show the exit dialog of the maker's edition
    return rc;
}
