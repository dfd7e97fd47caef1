#include "HandlerGuard.h"

#include "DialogSeam.h"
#include <protocol/HouseError.h>

#include <QDebug>

void reportHandlerError(QObject *context, std::exception_ptr error) noexcept
{
    try {
        const QString text = rbx::errorText(error);
        try {
            dialogSeam().error(context, text);
        } catch (...) {
            qCritical().noquote() << text; // the display itself failed; the text must not be lost
        }
    } catch (...) {
        // nothing is left that could report it
    }
}
