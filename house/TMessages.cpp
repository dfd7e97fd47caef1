#include "TMessages.h"

#include <protocol/HouseError.h>

const QString *TMessages::find(const QString &key, QString &text) const
{
    for (const QString &line : Messages) {
        const qsizetype bar = line.indexOf(u'|');
        if (bar < 0 || QStringView(line).left(bar) != key)
            continue;
        text = line.mid(bar + 1);
        return &text;
    }
    return nullptr;
}

bool TMessages::Contains(const QString &key) const
{
    QString text;
    return find(key, text) != nullptr;
}

QString TMessages::Msg(const QString &key) const
{
    QString text;
    if (!find(key, text))
        throw rbx::EHouseError(QStringLiteral("Mensagem '%1' não cadastrada em %2.").arg(key, m_name));
    return text;
}

int TMessages::ShowMsg(const QString &key, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext,
                       QObject *parent) const
{
    MessageRequest request;
    request.parent = parent;
    request.kind = kind;
    request.buttons = buttons;
    request.text = Msg(key);
    request.helpContext = helpContext;
    return dialogSeam().message(request);
}
