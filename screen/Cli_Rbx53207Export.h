#pragma once

#include <QtGlobal>

// The module's entry points and globals are looked up by name in the loaded library.
#define CLI_RBX53207_EXPORT Q_DECL_EXPORT
