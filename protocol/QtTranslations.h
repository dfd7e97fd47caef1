#pragma once

#include <protocol/rbx_protocol_export.h>

namespace rbx {

// Qt's own texts that reach the user (socket errors, standard dialog buttons, the command-line
// parser's usage and errors) in Brazilian Portuguese, from Qt's catalog of the installation.
// Installs the catalog once per application object; later calls find it there. Without the
// catalog Qt stays in English, which is no reason to stop: false then. Call it after creating
// the application object and before the command line is parsed.
RBX_PROTOCOL_EXPORT bool installQtTranslations();

} // namespace rbx
