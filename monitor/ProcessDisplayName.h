#pragma once

#include <QString>

namespace orb {

// The group a process is shown under: well-known applications by their usual name, helper,
// renderer and plug-in processes under the application they serve.
QString processDisplayName(const QString& name);

} // namespace orb
