#include "LoginDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int OperatorWidth = 20; // OPERADOR.CDOPERADOR
}

LoginDialog::LoginDialog(const LoginRequest &request, QWidget *parent)
    : QDialog(parent), m_request(request), m_operator(new QLineEdit(request.operatorCode, this)),
      m_password(new QLineEdit(this)), m_problem(new QLabel(this))
{
    setObjectName(QStringLiteral("LoginDialog"));
    setWindowTitle(QStringLiteral("Entrar"));
    m_operator->setObjectName(QStringLiteral("edtOperador"));
    m_operator->setMaxLength(OperatorWidth);
    m_password->setObjectName(QStringLiteral("edtSenha"));
    m_password->setEchoMode(QLineEdit::Password);
    m_problem->setObjectName(QStringLiteral("lblProblema"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_problem->setWordWrap(true);
    m_problem->hide();

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Operador:"), m_operator);
    form->addRow(QStringLiteral("&Senha:"), m_password);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *enter = buttons->addButton(QStringLiteral("&Entrar"), QDialogButtonBox::AcceptRole);
    enter->setObjectName(QStringLiteral("btnEntrar"));
    enter->setDefault(true);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("btnCancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::tryLogin);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    setMinimumWidth(320);
    (request.operatorCode.isEmpty() ? m_operator : m_password)->setFocus();
}

LoginAnswer LoginDialog::answer() const { return {m_operator->text().trimmed(), m_password->text()}; }

QString LoginDialog::problem() const { return m_problem->isHidden() ? QString() : m_problem->text(); }

void LoginDialog::tryLogin()
{
    const LoginAnswer typed = answer();
    QString refusal;
    if (typed.operatorCode.isEmpty())
        refusal = QStringLiteral("Informe o operador.");
    else if (m_request.attempt)
        refusal = m_request.attempt(typed.operatorCode, typed.password);
    if (refusal.isEmpty()) {
        accept();
        return;
    }
    m_problem->setText(refusal);
    m_problem->show();
    m_password->clear();
    (typed.operatorCode.isEmpty() ? m_operator : m_password)->setFocus();
}
