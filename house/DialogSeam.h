#pragma once

#include <house/rbx_house_export.h>

#include <QFlags>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct RowTable;
class QPrinter;

// Dialog kinds and buttons with the house library's historical names and values, so that a
// ShowMsg answer compares with mrYes (6) as every routine screen expects.
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 0x1,
    mbNo = 0x2,
    mbOK = 0x4,
    mbCancel = 0x8,
    mbAbort = 0x10,
    mbRetry = 0x20,
    mbIgnore = 0x40,
};
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

struct MessageRequest
{
    QObject *parent = nullptr;
    TMsgDlgType kind = mtInformation;
    TMsgDlgButtons buttons = mbOK;
    QString text;
    int helpContext = 0;
};

struct PickRequest
{
    QObject *parent = nullptr;
    const RowTable *rows = nullptr;
    int keyColumn = -1;       // index into rows->columns
    QString caption;          // first part of the pick list's title
    QString emptyText;        // shown instead of rows when there is nothing to pick
    bool singleChoice = false;
    QStringList preselected;  // keys already in the list, checked when the dialog opens
};

// The login: the operator already known (prefilled) and what one attempt does, which answers
// an empty text when the server let the operator in, else the text to show while asking again;
// it never throws.
struct LoginRequest
{
    QObject *parent = nullptr;
    QString operatorCode;
    std::function<QString(const QString &operatorCode, const QString &password)> attempt;
};

struct LoginAnswer
{
    QString operatorCode;
    QString password;
};

// A new password as typed, twice; the caller checks them.
struct NewPasswordAnswer
{
    QString password;
    QString confirmation;
};

// Everything of the house library that talks to a person goes through this one interface:
// the default shows real dialogs, a test installs one that answers by itself.
class RBX_HOUSE_EXPORT DialogSeam
{
public:
    virtual ~DialogSeam() = default;

    // A modal message; returns the mr* value of the button pressed.
    virtual int message(const MessageRequest &request) = 0;
    // The error display every handler guard and the host use.
    virtual void error(QObject *parent, const QString &text) = 0;
    // The picked keys in row order, or nothing when the user cancelled.
    virtual std::optional<QStringList> pick(const PickRequest &request) = 0;
    // Asks for an operator and password until an attempt succeeds; what let the operator in, or
    // nothing when the user cancelled.
    virtual std::optional<LoginAnswer> login(const LoginRequest &request) = 0;
    // Asks for a new password; nothing when the user cancelled.
    virtual std::optional<NewPasswordAnswer> newPassword(QObject *parent) = 0;
    // A file to write, chosen by the person (`suggested` proposed); nothing when cancelled.
    virtual std::optional<QString> saveFileName(QObject *parent, const QString &caption, const QString &suggested,
                                                const QString &filter) = 0;
    // The person chooses and sets up the printer, a PDF file among them; false when cancelled.
    virtual bool choosePrinter(QObject *parent, QPrinter &printer) = 0;
    // Busy indicator over a window (nullptr: over the active one); calls nest.
    virtual void showBusy(QObject *over, int kind) = 0;
    virtual void hideBusy() = 0;
};

// The seam in force: the one a test installed, else the default the widget library registered,
// else a console fallback that never confirms anything and picks nothing.
RBX_HOUSE_EXPORT DialogSeam &dialogSeam();
// Overrides the seam (tests); nullptr removes the override.
RBX_HOUSE_EXPORT void setDialogSeam(DialogSeam *seam);
// Registered by the widget library so that every screen gets real dialogs.
RBX_HOUSE_EXPORT void setDefaultDialogSeam(DialogSeam *seam);
RBX_HOUSE_EXPORT DialogSeam *defaultDialogSeam();

// Installs a seam for one scope and restores the previous one.
class RBX_HOUSE_EXPORT ScopedDialogSeam
{
public:
    explicit ScopedDialogSeam(DialogSeam &seam);
    ~ScopedDialogSeam();
    ScopedDialogSeam(const ScopedDialogSeam &) = delete;
    ScopedDialogSeam &operator=(const ScopedDialogSeam &) = delete;

private:
    DialogSeam *m_previous;
};
