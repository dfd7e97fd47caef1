#include "SaslClient.h"

#include "GsaslContext.h"

#include <gsasl.h>

namespace rbx {

ScramClient::ScramClient(const QString &operatorCode, const QString &password)
{
    Gsasl *context = GsaslContext::get();
    if (!context || operatorCode.isEmpty() || password.isEmpty()
        || gsasl_client_start(context, "SCRAM-SHA-256", &m_session) != GSASL_OK)
        return;
    gsasl_property_set(m_session, GSASL_AUTHID, operatorCode.toUtf8().constData());
    gsasl_property_set(m_session, GSASL_PASSWORD, password.toUtf8().constData());
    m_ready = true;
}

ScramClient::~ScramClient()
{
    // gsasl_finish scrubs the password property along with the session
    if (m_session)
        gsasl_finish(m_session);
}

QByteArray ScramClient::step(const QByteArray &input, bool &ok, bool &complete)
{
    ok = complete = false;
    if (!m_ready)
        return {};
    char *out = nullptr;
    const int rc = gsasl_step64(m_session, input.constData(), &out);
    QByteArray result = out ? QByteArray(out) : QByteArray();
    gsasl_free(out);
    ok = rc == GSASL_OK || rc == GSASL_NEEDS_MORE;
    complete = rc == GSASL_OK;
    if (!ok)
        m_ready = false;
    return result;
}

QByteArray ScramClient::firstMessage()
{
    bool ok = false, complete = false;
    QByteArray message = step(QByteArray(""), ok, complete);
    return ok && !complete ? message : QByteArray();
}

QByteArray ScramClient::answer(const QByteArray &challenge)
{
    if (challenge.isEmpty())
        return {};
    bool ok = false, complete = false;
    QByteArray message = step(challenge, ok, complete);
    return ok && !complete ? message : QByteArray();
}

bool ScramClient::serverVerified(const QByteArray &serverFinal)
{
    if (serverFinal.isEmpty())
        return false;
    bool ok = false, complete = false;
    step(serverFinal, ok, complete);
    m_ready = false;
    return ok && complete;
}

} // namespace rbx
