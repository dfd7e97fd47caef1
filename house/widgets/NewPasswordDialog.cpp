#include "NewPasswordDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NewPasswordDialog::NewPasswordDialog(QWidget *parent)
    : QDialog(parent), m_password(new QLineEdit(this)), m_confirmation(new QLineEdit(this))
{
    setObjectName(QStringLiteral("NewPasswordDialog"));
    setWindowTitle(QStringLiteral("Alterar senha"));
    m_password->setObjectName(QStringLiteral("edtNovaSenha"));
    m_confirmation->setObjectName(QStringLiteral("edtConfirmaSenha"));
    for (QLineEdit *edit : {m_password, m_confirmation})
        edit->setEchoMode(QLineEdit::Password);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Nova senha:"), m_password);
    form->addRow(QStringLiteral("&Confirme a nova senha:"), m_confirmation);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(320);
    m_password->setFocus();
}

NewPasswordAnswer NewPasswordDialog::answer() const { return {m_password->text(), m_confirmation->text()}; }
