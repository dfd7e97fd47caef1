#include "PamCheck.h"

#include <security/pam_appl.h>

#include <cstdlib>
#include <cstring>

namespace {

struct Conversation
{
    QByteArray password;
};

// Answers every hidden prompt with the password and nothing else; PAM frees the answers.
extern "C" int converse(int count, const struct pam_message **messages, struct pam_response **responses, void *data)
{
    if (count <= 0 || count > PAM_MAX_NUM_MSG)
        return PAM_CONV_ERR;
    auto *replies = static_cast<pam_response *>(std::calloc(size_t(count), sizeof(pam_response)));
    if (!replies)
        return PAM_BUF_ERR;
    const auto *conversation = static_cast<const Conversation *>(data);
    for (int i = 0; i < count; ++i) {
        if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF || messages[i]->msg_style == PAM_PROMPT_ECHO_ON) {
            replies[i].resp = strdup(conversation->password.constData());
            if (!replies[i].resp) {
                for (int j = 0; j < i; ++j)
                    std::free(replies[j].resp);
                std::free(replies);
                return PAM_BUF_ERR;
            }
        }
    }
    *responses = replies;
    return PAM_SUCCESS;
}

} // namespace

namespace rbx {

bool pamAuthenticates(const QString &service, const QString &user, const QString &password)
{
    if (service.isEmpty() || user.isEmpty() || password.isEmpty())
        return false;
    Conversation conversation{password.toUtf8()};
    const pam_conv conv{converse, &conversation};
    pam_handle_t *handle = nullptr;
    const QByteArray serviceName = service.toUtf8(), userName = user.toUtf8();
    int rc = pam_start(serviceName.constData(), userName.constData(), &conv, &handle);
    if (rc == PAM_SUCCESS)
        rc = pam_authenticate(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (rc == PAM_SUCCESS)
        rc = pam_acct_mgmt(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (handle)
        pam_end(handle, rc);
    conversation.password.fill('\0');
    return rc == PAM_SUCCESS;
}

} // namespace rbx
