#pragma once

#include <QString>

// One line on standard error, whole even when sessions log at the same time. Never pass a token.
void serverLog(const QString &line);
