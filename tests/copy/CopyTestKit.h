#pragma once

#include <copy/CopyForm.h>
#include <copy/CopyMessages.h>
#include <remote/CopyServiceClient.h>
#include <support/FakeCopyService.h>
#include <copy/FormulationCopy.h>
#include <protocol/HouseError.h>
#include <protocol/OleDate.h>
#include <support/ScriptedServer.h>
#include <house/TMessages.h>

#include <QStringList>

#include <array>

namespace rbx {

// The catalog's text of a key, as the screen's msgPadrao gives it.
inline QString catalogText(const QString &key)
{
    static const TMessages catalog = [] {
        TMessages messages(QStringLiteral("msgPadrao"));
        messages.Messages = CopyMessages::lines();
        return messages;
    }();
    return catalog.Msg(key);
}

// The screen as the copy tests drive it: dates typed as dd/MM/yyyy, radios and lists set by
// the test, and a record of focus moves, dialogs and date checks.
class TestCopyForm final : public CopyForm
{
public:
    std::array<bool, 6> list{};             // list radio checked; the all radio otherwise
    std::array<QString, 6> selections;      // stPacientes .. stLeitos
    QString origemText = QStringLiteral("07/05/2026");
    QString destinoText = QStringLiteral("08/05/2026");
    int answer = mrYes;                     // what the "Conf_Oper" question answers

    QStringList focus;
    QStringList shown;
    QList<std::pair<TMsgDlgType, TMsgDlgButtons>> dialogs; // kind and buttons of each shown
    QStringList checkedDates;

    bool listChecked(FilterGroup group) const override { return list[std::size_t(group)]; }
    bool allChecked(FilterGroup group) const override { return !list[std::size_t(group)]; }
    QString selectionList(FilterGroup group) const override { return selections[std::size_t(group)]; }
    QString dateText(CopyDate date) const override { return date == CopyDate::Origem ? origemText : destinoText; }
    QDate dateValue(CopyDate date) const override
    {
        return QDate::fromString(dateText(date), QStringLiteral("dd/MM/yyyy"));
    }
    void checkValidDate(CopyDate date) override
    {
        checkedDates.append(CopyControl::dateEdit(date));
        if (!dateText(date).isEmpty() && !dateValue(date).isValid())
            throw EValidationError(catalogText(QStringLiteral("Data_Err")));
    }
    void setFocusTo(const QString &controlName) override { focus.append(controlName); }
    QString msg(const QString &key) const override { return catalogText(key); }
    int showMsg(const QString &key, TMsgDlgType kind, TMsgDlgButtons buttons) override
    {
        shown.append(key);
        dialogs.append({kind, buttons});
        return buttons.testFlag(mbNo) ? answer : mrYes;
    }
    [[noreturn]] void mensErro(const QString &text) override { throw EValidationError(text); }
};

// A fake service on its loopback server, a connection to it and the four record sets.
struct CopyHarness
{
    FakeCopyService fake;
    ScriptedServer server{[this](const QByteArray &line) { return fake.answer(line); }};
    TNetConnection net;
    CopyServiceClient client{net};
    TClientDataSet servInte{QStringLiteral("cdsServInte")};
    TClientDataSet nrServInte{QStringLiteral("cdsNrServInte")};
    TClientDataSet nrConfesco{QStringLiteral("cdsNrConfesco")};
    TClientDataSet confesco{QStringLiteral("cdsConfesco")};
    CopyRecordSets sets{servInte, nrServInte, nrConfesco, confesco};
    TestCopyForm form;

    CopyHarness()
    {
        declareCopyFields(sets);
        net.ServerName = QString::fromLatin1(Wire::ServerObjectName);
        net.TimeoutMs = 5000;
        net.BeforeConnect = [this](TNetConnection &c) {
            c.Host = QStringLiteral("127.0.0.1");
            c.Port = server.port();
        };
        net.SetConnected(true);
    }

    CopyOutcome run(QString &filial, const QString &tipoForm = QStringLiteral("E"),
                    const CopyProgressHandler &progress = {})
    {
        FormulationCopy copy(form, client, sets);
        copy.setProgressHandler(progress);
        return copy.run(filial, tipoForm, QStringLiteral("OP1"));
    }
};

// An argument list as "text", "&byref text", "@date" and "#double", for whole-list comparisons.
inline QStringList describe(const QList<Wire::Arg> &args)
{
    QStringList parts;
    for (const Wire::Arg &arg : args) {
        switch (arg.kind) {
        case Wire::Arg::Kind::Text: parts.append(arg.byRef ? u'&' + arg.text : arg.text); break;
        case Wire::Arg::Kind::Date: parts.append(u'@' + QString::number(arg.number, 'g', 17)); break;
        case Wire::Arg::Kind::Double: parts.append(u'#' + QString::number(arg.number, 'g', 17)); break;
        }
    }
    return parts;
}

inline QString oleText(QDate date) { return QString::number(OleDate::fromDate(date), 'g', 17); }

} // namespace rbx
