#pragma once

#include <house/DialogSeam.h>
#include <house/RowSource.h>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace rbx {

// A dialog seam for tests: records every request and answers as told, without a window.
class AnsweringDialogs final : public DialogSeam
{
public:
    struct Pick
    {
        QString caption;
        QString emptyText;
        bool singleChoice = false;
        QStringList preselected;
        RowTable rows;
        int keyColumn = -1;
    };

    // Answers; the defaults confirm every question and cancel every pick list.
    std::function<int(const MessageRequest &)> answerMessage = [](const MessageRequest &) { return mrYes; };
    std::function<std::optional<QStringList>(const Pick &)> answerPick = [](const Pick &) {
        return std::optional<QStringList>();
    };
    // Runs when the busy indicator is shown (e.g. to look at the state at that moment).
    std::function<void(QObject *, int)> onShowBusy;
    std::function<void(const QString &)> onError;
    // The login's answers in turn, each tried as the dialog would; the login ends cancelled when
    // they run out before one is let in. `loginShown` holds, for each answer, what the dialog
    // showed when it was typed: the operator prefilled first, then the refusal it stays open with.
    QList<LoginAnswer> loginAnswers;
    QStringList loginShown;
    std::optional<NewPasswordAnswer> newPasswordAnswer;
    int newPasswordAsked = 0;

    // The file a save asks for (nothing: cancelled); the printer's set-up (the default cancels).
    std::optional<QString> saveAnswer;
    std::function<bool(QPrinter &)> answerPrinter = [](QPrinter &) { return false; };
    QStringList saveCaptions;
    int printsAsked = 0;

    QList<MessageRequest> messages;
    QStringList errors;
    QList<Pick> picks;
    int busyShown = 0;
    int busyHidden = 0;
    int busyDepth = 0;
    QList<int> busyKinds;

    int message(const MessageRequest &request) override
    {
        messages.append(request);
        return answerMessage(request);
    }
    void error(QObject *, const QString &text) override
    {
        errors.append(text);
        if (onError)
            onError(text);
    }
    std::optional<QStringList> pick(const PickRequest &request) override
    {
        Pick pick{request.caption, request.emptyText, request.singleChoice, request.preselected,
                  request.rows ? *request.rows : RowTable(), request.keyColumn};
        picks.append(pick);
        return answerPick(pick);
    }
    std::optional<LoginAnswer> login(const LoginRequest &request) override
    {
        QString shown = request.operatorCode;
        while (!loginAnswers.isEmpty()) {
            loginShown.append(shown);
            const LoginAnswer typed = loginAnswers.takeFirst();
            shown = request.attempt(typed.operatorCode, typed.password);
            if (shown.isEmpty())
                return typed;
        }
        return std::nullopt;
    }
    std::optional<NewPasswordAnswer> newPassword(QObject *) override
    {
        ++newPasswordAsked;
        return newPasswordAnswer;
    }
    std::optional<QString> saveFileName(QObject *, const QString &caption, const QString &, const QString &) override
    {
        saveCaptions.append(caption);
        return saveAnswer;
    }
    bool choosePrinter(QObject *, QPrinter &printer) override
    {
        ++printsAsked;
        return answerPrinter(printer);
    }
    void showBusy(QObject *over, int kind) override
    {
        ++busyShown;
        ++busyDepth;
        busyKinds.append(kind);
        if (onShowBusy)
            onShowBusy(over, kind);
    }
    void hideBusy() override
    {
        ++busyHidden;
        --busyDepth;
    }
};

} // namespace rbx
