#include "HeadlessCopyForm.h"

#include "CopyMessages.h"
#include "HouseError.h"
#include "TextRoutines.h"

#include <QTextStream>

namespace {

constexpr int ButtonNo = 7;

std::size_t index(FilterGroup group) { return static_cast<std::size_t>(group); }

QDate parseIsoDate(const QString &text)
{
    return QDate::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd"));
}

} // namespace

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
    return CopyMessages::text(key);
}

int HeadlessCopyForm::showMsg(const QString &key, CopyDialog dialog)
{
    if (dialog == CopyDialog::InformationYes) {
        m_out << msg(key) << Qt::endl;
        return ButtonYes;
    }
    if (m_options.assumeYes)
        return ButtonYes;
    if (!m_in)
        return ButtonNo;
    m_err << msg(key) << " [s/N] " << Qt::flush;
    const QString answer = m_in->readLine().trimmed().toLower();
    const bool yes = answer == u"s" || answer == u"sim" || answer == u"y" || answer == u"yes";
    return yes ? ButtonYes : ButtonNo;
}

void HeadlessCopyForm::mensErro(const QString &text)
{
    throw EValidationError(text);
}
