#include "app/windowenvironment.h"

#include <QCoreApplication>

WindowEnvironment WindowEnvironment::system()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    return {std::make_shared<SystemPortEnumerator>(), makeSystemFtdiSource(programDir), programDir};
}
