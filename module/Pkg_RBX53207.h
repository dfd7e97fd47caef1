#pragma once

#include <QVariant>
#include <QtGlobal>

#define PKG_RBX53207_EXPORT Q_DECL_EXPORT

// What the host finds by name in the loaded module.
extern "C" {

// Opens the copy screen and returns when it has closed. Params holds a list whose element 0 is
// the form mode ("N" lactário, anything else enteral/parenteral) and element 1 the branch code.
// A missing element, or one that is no text, raises EConvertError to the caller.
PKG_RBX53207_EXPORT void IniProc(const QVariant &Params);

// The house library linked into the module learns the session from its host here: a map with
// "operator", "serverHost", "serverPort", "token", "callTimeoutMs" and "database" (a URL such as
// "sqlite:PATH"); keys left out keep their value. An unknown key or a wrong type raises.
PKG_RBX53207_EXPORT void HouseSetup(const QVariant &Settings);
}

using IniProcFunction = void (*)(const QVariant &);
using HouseSetupFunction = void (*)(const QVariant &);
