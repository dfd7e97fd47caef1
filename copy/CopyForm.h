#pragma once

#include <copy/rbx_copy_export.h>

#include <house/DialogSeam.h>

#include <QDate>
#include <QString>

#include <array>

namespace rbx {

// The six filter groups, in the order the copy validates them and sends their arguments.
enum class FilterGroup { Paciente, Servico, Dieta, Andar, Ala, Leito };
inline constexpr std::array<FilterGroup, 6> FilterGroups = {FilterGroup::Paciente, FilterGroup::Servico,
                                                            FilterGroup::Dieta,    FilterGroup::Andar,
                                                            FilterGroup::Ala,      FilterGroup::Leito};

enum class CopyDate { Origem, Destino };

// Names of the controls the copy moves the focus to.
namespace CopyControl {
// "rbtLPaci", "rbtLServ", "rbtLDieta", "rbtLAndar", "rbtLAla", "rbtLLeito"
RBX_COPY_EXPORT QString listRadio(FilterGroup group);
// "depOrigem", "depDestino"
RBX_COPY_EXPORT QString dateEdit(CopyDate date);
} // namespace CopyControl

// What the copy run reads from, and asks of, the form that confirms it: the screen, or the
// headless command standing in for it.
class RBX_COPY_EXPORT CopyForm
{
public:
    virtual ~CopyForm() = default;

    // rbtLPaci .. rbtLLeito checked.
    virtual bool listChecked(FilterGroup group) const = 0;
    // rbtTPaci .. rbtTLeito checked.
    virtual bool allChecked(FilterGroup group) const = 0;
    // stPacientes .. stLeitos.
    virtual QString selectionList(FilterGroup group) const = 0;

    // depOrigem / depDestino: the edit's text, its date value, and CheckValidDate (raises on a
    // text that is no date).
    virtual QString dateText(CopyDate date) const = 0;
    virtual QDate dateValue(CopyDate date) const = 0;
    virtual void checkValidDate(CopyDate date) = 0;

    // Moves the focus to the control of that name (see CopyControl).
    virtual void setFocusTo(const QString &controlName) = 0;

    // The catalog: Msg, and ShowMsg with help context 0 returning the button pressed (mrYes
    // for Yes). The copy asks "Conf_Oper" with mtConfirmation, mbYes | mbNo and shows
    // "Cop_Suces" with mtInformation, mbYes.
    virtual QString msg(const QString &key) const = 0;
    virtual int showMsg(const QString &key, TMsgDlgType kind, TMsgDlgButtons buttons) = 0;

    // MensErro(text, true): shows the text as an error and raises. Must not return.
    virtual void mensErro(const QString &text) = 0;
};

} // namespace rbx
