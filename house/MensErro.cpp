#include "MensErro.h"

#include "DialogSeam.h"
#include <protocol/HouseError.h>

void MensErro(const QString &text, bool raise, QObject *parent)
{
    if (raise)
        throw rbx::EValidationError(text);
    dialogSeam().error(parent, text);
}
