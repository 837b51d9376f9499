#include "platform/ole_color.h"

#include "control_values.h"

#include <QGuiApplication>
#include <QPalette>

namespace platform {

QColor oleColor(quint32 value)
{
    return oleColor(value, QGuiApplication::palette());
}

QColor oleColor(quint32 value, const QPalette &palette)
{
    return provek::oleColor(value, palette);
}

} // namespace platform
