#include "TfrmCopFormulacao.h"

#include "Cli_Rbx53207.h"
#include <copy/CopyForm.h>
#include "CopyProgressView.h"
#include <copy/CopyReport.h>
#include <remote/CopyServiceClient.h>
#include <copy/FormulationCopy.h>
#include <house/HandlerGuard.h>
#include <house/HouseSession.h>
#include <house/MensErro.h>
#include <house/widgets/TDateEditPlus.h>

#include <QRadioButton>
#include <QScopedValueRollback>

namespace {

// The screen as the copy run sees it: the six groups, the two dates, focus and the catalog.
class ScreenCopyForm final : public rbx::CopyForm
{
public:
    explicit ScreenCopyForm(TfrmCopFormulacao &screen) : m_screen(screen) {}

    bool listChecked(rbx::FilterGroup group) const override { return group_(group).list->isChecked(); }
    bool allChecked(rbx::FilterGroup group) const override { return group_(group).all->isChecked(); }
    QString selectionList(rbx::FilterGroup group) const override { return *group_(group).selection; }

    QString dateText(rbx::CopyDate date) const override { return edit(date)->Text(); }
    QDate dateValue(rbx::CopyDate date) const override { return edit(date)->Date(); }
    void checkValidDate(rbx::CopyDate date) override { edit(date)->CheckValidDate(); }

    void setFocusTo(const QString &controlName) override
    {
        if (auto *control = m_screen.findChild<QWidget *>(controlName))
            control->setFocus();
    }

    QString msg(const QString &key) const override { return m_screen.msgPadrao.Msg(key); }
    int showMsg(const QString &key, TMsgDlgType kind, TMsgDlgButtons buttons) override
    {
        closeProgress();
        return m_screen.msgPadrao.ShowMsg(key, kind, buttons, 0, &m_screen);
    }
    void mensErro(const QString &text) override
    {
        closeProgress();
        MensErro(text, true, &m_screen);
    }

    // A message of the run comes up over the screen, not over the progress of a run that ended.
    void setProgressView(CopyProgressView *progress) { m_progress = progress; }
    void closeProgress()
    {
        if (m_progress)
            m_progress->close();
    }

private:
    struct Group
    {
        QRadioButton *all;
        QRadioButton *list;
        const QString *selection;
    };

    Group group_(rbx::FilterGroup group) const
    {
        TfrmCopFormulacao &s = m_screen;
        switch (group) {
        case rbx::FilterGroup::Paciente: return {s.rbtTPaci, s.rbtLPaci, &s.stPacientes};
        case rbx::FilterGroup::Servico: return {s.rbtTServ, s.rbtLServ, &s.stServicos};
        case rbx::FilterGroup::Dieta: return {s.rbtTDieta, s.rbtLDieta, &s.stDietas};
        case rbx::FilterGroup::Andar: return {s.rbtTAndar, s.rbtLAndar, &s.stAndares};
        case rbx::FilterGroup::Ala: return {s.rbtTAla, s.rbtLAla, &s.stAlas};
        case rbx::FilterGroup::Leito: return {s.rbtTLeito, s.rbtLLeito, &s.stLeitos};
        }
        Q_UNREACHABLE();
    }

    TDateEditPlus *edit(rbx::CopyDate date) const
    {
        return date == rbx::CopyDate::Origem ? m_screen.depOrigem : m_screen.depDestino;
    }

    TfrmCopFormulacao &m_screen;
    CopyProgressView *m_progress = nullptr;
};

} // namespace

void TfrmCopFormulacao::sbtConfirmaClick()
{
    // The progress dialog keeps input away while a run lets events through; a click that was
    // already queued must still not start a second run inside the first.
    if (m_copying)
        return;
    const QScopedValueRollback copying(m_copying, true);
    reopenLostService();
    ScreenCopyForm form(*this);
    rbx::CopyServiceClient service(netCopiaForm);
    rbx::FormulationCopy copy(form, service, {cdsServInte, cdsNrServInte, cdsNrConfesco, cdsConfesco});
    CopyProgressView progress(*this, copy);
    form.setProgressView(&progress);
    rbx::CopyOutcome outcome;
    try {
        outcome = copy.run(stFilial, stTipoForm, Operador());
    } catch (...) {
        if (copy.outcome().end != rbx::CopyEnd::Failed)
            throw;
        progress.close();
        dialogSeam().error(this, rbx::errorText(std::current_exception()) + QStringLiteral("\n\n") +
                                     rbx::CopyReport::failed(copy.outcome()));
        return;
    }
    progress.close();
    if (outcome.end == rbx::CopyEnd::Interrupted)
        dialogSeam().message({this, mtInformation, mbOK, rbx::CopyReport::interrupted(outcome), 0});
    if (outcome.end == rbx::CopyEnd::Completed)
        showStatusLine(rbx::CopyReport::completed(outcome, depOrigem->Date(), depDestino->Date()));
}
