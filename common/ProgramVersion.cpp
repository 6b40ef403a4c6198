#include "common/ProgramVersion.h"

QString ProgramVersion::text() {
    return QStringLiteral(ATALAIA_VERSION);
}
