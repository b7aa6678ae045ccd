#pragma once

#include <QString>

// The version the worker writes at the head of every run's log.
constexpr double kProgramVersion = 1.19;

inline QString versionLine()
{
    return QStringLiteral("Viviv Testprogramm v.") + QString::number(kProgramVersion, 'f', 2);
}
