#pragma once

#include <house/rbx_house_export.h>

#include <protocol/HouseError.h>

#include <QObject>
#include <QString>

#include <exception>
#include <utility>

// Shows a failure on the error display of the dialog seam. Never throws.
RBX_HOUSE_EXPORT void reportHandlerError(QObject *context, std::exception_ptr error) noexcept;

// Runs an event handler so that no exception reaches the event loop: a failure ends the
// handler and is shown once, as the host shows its own errors.
template <typename Handler>
void guarded(QObject *context, Handler &&handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        reportHandlerError(context, std::current_exception());
    }
}

// A slot for connect() that runs a handler method of the receiver behind the guard; the
// signal's arguments are dropped, as the handlers take none.
template <typename Receiver>
auto guardedSlot(Receiver *receiver, void (Receiver::*handler)())
{
    return [receiver, handler] { guarded(receiver, [&] { (receiver->*handler)(); }); };
}
