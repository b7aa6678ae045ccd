#pragma once
// The meter simulator a test's data row asks for.
#include "tools/simulator/metersimulator.h"

#include <QJsonObject>

#include <memory>

// The row's "profile" with its "options" over the given ones, not started;
// null with the reason in *error for an unknown profile or a bad option.
inline std::unique_ptr<metersim::MeterSimulator> rowSimulator(const QJsonObject &row, metersim::Options options,
                                                              QString *error)
{
    const metersim::ProfileInfo *info = metersim::profileByName(row["profile"].toString());
    if (!info) {
        *error = QStringLiteral("unknown simulator profile \"%1\"").arg(row["profile"].toString());
        return nullptr;
    }
    if (!metersim::applyJson(row["options"].toObject(), info->profile, &options, error))
        return nullptr;
    return std::make_unique<metersim::MeterSimulator>(info->profile, options);
}
