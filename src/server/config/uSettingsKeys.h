#pragma once
// The server's settings keys, named once: the INI file's [server] section,
// the check of its keys and the command-line flags all read this table, so a
// key and its flag cannot drift apart.

#include "server/config/uServerConfig.h"

#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace zsrv {

enum class TSettingKind {
    Text,     // any text; an empty value leaves the setting as it was
    HostPort, // "host:port" into two settings
    Choice,   // one of two words, the first meaning yes
    Number,   // a decimal integer, at least the key's minimum
    Switch,   // a number, 0 meaning no; its flag takes no value and means no
};

struct THostPortSetting {
    std::string TServerConfig::*Host;
    int TServerConfig::*Port;
};

using TSettingTarget = std::variant<std::string TServerConfig::*, THostPortSetting, bool TServerConfig::*,
                                    int TServerConfig::*, std::size_t TServerConfig::*>;

struct TSettingKey {
    const char* Key;  // in [server], matched without regard to case
    const char* Flag; // the command-line flag, or nullptr
    TSettingKind Kind;
    TSettingTarget Target;
    int Minimum = 1;             // Number
    const char* Choices[2] = {}; // Choice: the word for yes, the word for no
};

// Every key, in the order the file and the flags are applied.
[[nodiscard]] std::span<const TSettingKey> SettingKeys();
[[nodiscard]] const TSettingKey* FindSettingKey(std::string_view key);
// Whether a key's value in the file must be a decimal integer.
[[nodiscard]] bool IsNumberSetting(const TSettingKey& key);

// Applies a text value of a Text, HostPort or Choice key, as read from the
// file (fromFlag false) or given to its flag; false with the reason when the
// value is not of the key's form. An empty value changes nothing.
[[nodiscard]] bool ApplySettingText(const TSettingKey& key, const std::string& value, bool fromFlag,
                                    TServerConfig& config, std::string& error);
// Applies a number read from the file; false when it is below the key's minimum
// (the setting is then left as it was).
[[nodiscard]] bool ApplySettingNumber(const TSettingKey& key, int value, TServerConfig& config);
// The setting of a Number or Switch key as the file would give it.
[[nodiscard]] int SettingNumber(const TSettingKey& key, const TServerConfig& config);

// The flags given on the command line, by name; a flag without a value maps to "1".
using TFlagValues = std::map<std::string, std::string>;
// Applies the settings' flags over the configuration (the flags winning over
// the file); false with the reason at the first unusable value.
[[nodiscard]] bool ApplySettingFlags(const TFlagValues& flags, TServerConfig& config, std::string& error);
// The configuration a command line gives: the file its --config names, then
// the settings' flags; the database defaults to SQLite in the data folder.
// False with the reason when the file or a flag is unusable.
[[nodiscard]] bool BuildConfig(const TFlagValues& flags, TServerConfig& config, std::string& error);

} // namespace zsrv
