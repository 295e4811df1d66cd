#include "core/loggedvalue.h"

QString loggedValue(const QString& value)
{
    if (value.size() <= kLoggedValueCharacters)
        return value;
    return value.left(kLoggedValueCharacters) + QStringLiteral("... (%1 characters)").arg(value.size());
}
