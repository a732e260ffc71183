#pragma once
// The administrator's commands of zuvonote-server: accounts, audio recordings
// and the feedback, straight on the store the configuration names.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zsrv {

struct TServerConfig;

struct TAdminArgs {
    std::map<std::string, std::string> Options; // by flag, "1" for a flag without a value
    std::vector<std::string> Positional;
};

// Runs the command of that name, printing what it made and why it failed;
// its exit status (2: the command was not given what it needs), or nullopt
// when no administrator's command has that name.
[[nodiscard]] std::optional<int> RunAdminCommand(const std::string& command, const TAdminArgs& args,
                                                 const TServerConfig& config);

} // namespace zsrv
