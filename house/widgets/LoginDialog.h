#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <house/DialogSeam.h>

#include <QDialog>

class QLabel;
class QLineEdit;

// "Entrar": operator and password. Enter tries the request's attempt; a refusal shows its text
// and keeps the dialog open with the password cleared, so that only a login that worked (or
// Cancel) closes it.
class RBX_HOUSE_WIDGETS_EXPORT LoginDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoginDialog)

public:
    explicit LoginDialog(const LoginRequest &request, QWidget *parent = nullptr);

    LoginAnswer answer() const;
    QString problem() const;

private:
    void tryLogin();

    LoginRequest m_request;
    QLineEdit *m_operator;
    QLineEdit *m_password;
    QLabel *m_problem;
};
