#include "HeadlessCopyForm.h"

#include <copy/CopyMessages.h>
#include <protocol/HouseError.h>
#include <house/MensErro.h>
#include <house/TextRoutines.h>

#include <QTextStream>

namespace rbx {

namespace {

std::size_t index(FilterGroup group) { return static_cast<std::size_t>(group); }

QDate parseIsoDate(const QString &text)
{
    return QDate::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd"));
}

} // namespace

HeadlessCopyForm::HeadlessCopyForm(const HeadlessOptions &options, QTextStream &out, QTextStream &err,
                                   QTextStream *in)
    : m_options(options), m_out(out), m_err(err), m_in(in), m_catalog(QStringLiteral("msgPadrao"))
{
    m_catalog.Messages = CopyMessages::lines();
}

bool HeadlessCopyForm::listChecked(FilterGroup group) const
{
    return m_options.selections[index(group)].has_value();
}

bool HeadlessCopyForm::allChecked(FilterGroup group) const
{
    return !listChecked(group);
}

QString HeadlessCopyForm::selectionList(FilterGroup group) const
{
    return m_options.selections[index(group)].value_or(QString());
}

QString HeadlessCopyForm::dateText(CopyDate date) const
{
    return date == CopyDate::Origem ? m_options.from : m_options.to;
}

QDate HeadlessCopyForm::dateValue(CopyDate date) const
{
    return parseIsoDate(dateText(date));
}

void HeadlessCopyForm::checkValidDate(CopyDate date)
{
    const QString text = dateText(date);
    if (EmptyString(text) || dateValue(date).isValid())
        return;
    setFocusTo(CopyControl::dateEdit(date));
    mensErro(QStringLiteral("%1 (--%2 %3)")
                 .arg(msg(QStringLiteral("Data_Err")), date == CopyDate::Origem ? QStringLiteral("from") : QStringLiteral("to"), text));
}

QString HeadlessCopyForm::msg(const QString &key) const
{
    return m_catalog.Msg(key);
}

int HeadlessCopyForm::showMsg(const QString &key, TMsgDlgType kind, TMsgDlgButtons buttons)
{
    if (kind != mtConfirmation || !buttons.testFlag(mbNo)) {
        m_out << msg(key) << Qt::endl;
        return mrYes;
    }
    return confirm(msg(key)) ? mrYes : mrNo;
}

bool HeadlessCopyForm::confirm(const QString &question)
{
    if (m_options.assumeYes)
        return true;
    if (!m_in)
        return false;
    m_err << question << " [s/N] " << Qt::flush;
    const QString answer = m_in->readLine().trimmed().toLower();
    return answer == u"s" || answer == u"sim" || answer == u"y" || answer == u"yes";
}

void HeadlessCopyForm::mensErro(const QString &text)
{
    MensErro(text, true);
    throw EValidationError(text); // not reached: MensErro with true raises
}

} // namespace rbx
