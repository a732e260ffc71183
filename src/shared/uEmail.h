#pragma once
// The e-mail check of registration, the same on both sides of the exchange so
// an address the program lets through is never refused by the server.

#include <QString>

[[nodiscard]] bool IsValidEmail(const QString& text);
