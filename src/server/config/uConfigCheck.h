#pragma once
// Finding a configuration mistake before serving, so that a service either
// starts as configured or not at all: a misspelt key would otherwise be
// ignored silently and the server would run on a default the administrator
// never chose.

#include "server/config/uServerConfig.h"

#include <string>

namespace zsrv {

// Refuses sections and keys the server does not know, lines that are not
// key=value, and numbers that are not decimal integers. The reason names the
// line.
[[nodiscard]] bool CheckConfigFileKeys(const std::string& path, std::string& error);

// Checks what only the finished configuration shows: the listen addresses
// resolve, the push address is a dotted IPv4 address, the TLS certificate and
// key are readable and belong together, the database opens. Creates nothing:
// a missing SQLite file only needs a writable folder. On success, `report`
// says what the server would listen on and where it would store.
[[nodiscard]] bool CheckServerConfig(const TServerConfig& config, std::string& report, std::string& error);

} // namespace zsrv
