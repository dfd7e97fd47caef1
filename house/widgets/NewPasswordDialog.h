#pragma once

#include <house/widgets/rbx_house_widgets_export.h>

#include <house/DialogSeam.h>

#include <QDialog>

class QLineEdit;

// "Alterar senha": the new password and its confirmation, both without echo.
class RBX_HOUSE_WIDGETS_EXPORT NewPasswordDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewPasswordDialog)

public:
    explicit NewPasswordDialog(QWidget *parent = nullptr);

    NewPasswordAnswer answer() const;

private:
    QLineEdit *m_password;
    QLineEdit *m_confirmation;
};
