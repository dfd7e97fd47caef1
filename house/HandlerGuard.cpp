#include "HandlerGuard.h"

#include "DialogSeam.h"
#include "HouseError.h"

#include <QDebug>

QString errorText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EHouseError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Erro inesperado.");
    }
}

void reportHandlerError(QObject *context, std::exception_ptr error) noexcept
{
    try {
        const QString text = errorText(error);
        try {
            dialogSeam().error(context, text);
        } catch (...) {
            qCritical().noquote() << text; // the display itself failed; the text must not be lost
        }
    } catch (...) {
        // nothing is left that could report it
    }
}
