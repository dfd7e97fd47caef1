#include "GsaslContext.h"

#include <gsasl.h>

#include <mutex>

namespace rbx {

namespace GsaslContext {

PropertySource::~PropertySource() = default;

namespace {

int askOwner(Gsasl *, Gsasl_session *session, Gsasl_property property)
{
    auto *source = session ? static_cast<PropertySource *>(gsasl_session_hook_get(session)) : nullptr;
    return source ? source->provide(session, int(property)) : GSASL_NO_CALLBACK;
}

} // namespace

Gsasl *get()
{
    static Gsasl *context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        if (gsasl_init(&context) != GSASL_OK) {
            context = nullptr;
            return;
        }
        gsasl_callback_set(context, askOwner);
    });
    return context;
}

} // namespace GsaslContext

} // namespace rbx
