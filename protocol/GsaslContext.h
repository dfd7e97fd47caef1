#pragma once

#include <protocol/rbx_protocol_export.h>

struct Gsasl;
struct Gsasl_session;

namespace rbx {

// The process's one GNU SASL context, made on first use: gsasl_init is not safe to race, while
// sessions of one context may run in separate threads.
namespace GsaslContext {

// What a session asks of its owner when the library needs a property it was not given. Set as
// the session's hook; answers with a GSASL_* code and never throws, since the library is C.
class RBX_PROTOCOL_EXPORT PropertySource
{
public:
    virtual ~PropertySource();
    virtual int provide(Gsasl_session *session, int property) noexcept = 0;
};

// nullptr when the library could not start; callers treat that as a failed authentication.
RBX_PROTOCOL_EXPORT Gsasl *get();

} // namespace GsaslContext

} // namespace rbx
