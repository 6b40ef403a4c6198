#pragma once

#include <QString>

// The version the build was made with ("1.0.0.0"), as every executable's
// --version prints it and the Debian packages carry it.
namespace ProgramVersion {

QString text();

} // namespace ProgramVersion
