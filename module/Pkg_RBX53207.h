#pragma once

#include <QVariant>
#include <QtGlobal>

#define PKG_RBX53207_EXPORT Q_DECL_EXPORT

// What the host finds by name in the loaded module. The module shares the host's house library,
// so the session and the database the host set there are the module's too.
extern "C" {

// Opens the copy screen and returns when it has closed. Params holds a list whose element 0 is
// the form mode ("N" lactário, anything else enteral/parenteral) and element 1 the branch code.
// Nothing is thrown to the host: a missing element, one that is no text, or any other failure
// is shown on the house error display and the call returns.
PKG_RBX53207_EXPORT void IniProc(const QVariant &Params) noexcept;

// Opens the routine "Cópias realizadas" (the branch's copy runs, and their undo) and returns
// when it has closed. Params holds a list whose element 0 is the branch code; failures go to the
// house error display as IniProc's do.
PKG_RBX53207_EXPORT void IniProcCopias(const QVariant &Params) noexcept;
}

using IniProcFunction = void (*)(const QVariant &);
