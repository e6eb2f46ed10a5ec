#include "platform/widgets/window_platform.h"

#include <QByteArray>
#include <QtGlobal>

namespace pelk {

void preferX11WhereNeeded()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    // Qt tries the plugins of the list in turn; "xcb" fails at once when the display does
    // not answer, and the window then comes up on Wayland as before.
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb;wayland"));
}

}  // namespace pelk
