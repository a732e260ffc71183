#include "server/config/uSettingsKeys.h"

#include <cctype>

namespace zsrv {

namespace {

using C = TServerConfig;
using K = TSettingKind;

const TSettingKey kKeys[] = {
    {"listen", "--listen", K::HostPort, THostPortSetting{&C::HttpHost, &C::HttpPort}},
    {"push", "--push", K::HostPort, THostPortSetting{&C::PushHost, &C::PushPort}},
    {"push_address", "--push-address", K::Text, &C::PushPublicAddress},
    {"support_mail", nullptr, K::Text, &C::SupportMail},
    {"db", "--db", K::Text, &C::Db},
    {"tls_cert", "--tls-cert", K::Text, &C::TlsCert},
    {"tls_key", "--tls-key", K::Text, &C::TlsKey},
    {"sqlite_sync", "--sqlite-sync", K::Choice, &C::SqliteFullSync, 1, {"full", "normal"}},
    {"push_idle_seconds", nullptr, K::Number, &C::PushIdleSeconds},
    {"push_login_seconds", nullptr, K::Number, &C::PushLoginSeconds},
    {"push_unsigned_per_address", nullptr, K::Number, &C::PushUnsignedPerAddress},
    {"push_unsigned_total", nullptr, K::Number, &C::PushUnsignedTotal},
    {"push_devices_per_account", nullptr, K::Number, &C::PushDevicesPerAccount},
    {"push_connections", nullptr, K::Number, &C::PushConnections, 0},
    {"hash_threads", nullptr, K::Number, &C::HashThreads},
    {"hash_queue", nullptr, K::Number, &C::HashQueue},
    {"max_body_bytes", nullptr, K::Number, &C::MaxBodyBytes},
    {"http_threads", nullptr, K::Number, &C::HttpThreads},
    {"pbkdf2_iterations", nullptr, K::Number, &C::Pbkdf2Iterations},
    {"log_requests", "--quiet", K::Switch, &C::LogRequests},
};

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::span<const TSettingKey> SettingKeys() {
    return kKeys;
}

const TSettingKey* FindSettingKey(std::string_view key) {
    for (const TSettingKey& k : kKeys)
        if (equalsNoCase(k.Key, key))
            return &k;
    return nullptr;
}

bool IsNumberSetting(const TSettingKey& key) {
    return key.Kind == K::Number || key.Kind == K::Switch;
}

bool ApplySettingText(const TSettingKey& key, const std::string& value, bool fromFlag, TServerConfig& config,
                      std::string& error) {
    if (value.empty())
        return true;
    switch (key.Kind) {
    case K::Text:
        config.*std::get<std::string C::*>(key.Target) = value;
        return true;
    case K::HostPort: {
        const auto& target = std::get<THostPortSetting>(key.Target);
        if (SplitHostPort(value, config.*target.Host, config.*target.Port))
            return true;
        error = fromFlag ? std::string(key.Flag) + " takes HOST:PORT"
                         : std::string(key.Key) + " is not host:port: " + value;
        return false;
    }
    case K::Choice: {
        const std::string yes = key.Choices[0];
        const std::string no = key.Choices[1];
        if (value == yes || value == no) {
            config.*std::get<bool C::*>(key.Target) = value == yes;
            return true;
        }
        error = fromFlag ? std::string(key.Flag) + " takes " + yes + " or " + no
                         : std::string(key.Key) + " is " + yes + " or " + no + ", not " + value;
        return false;
    }
    default:
        error = std::string(key.Key) + " takes a number";
        return false;
    }
}

bool ApplySettingNumber(const TSettingKey& key, int value, TServerConfig& config) {
    if (key.Kind == K::Switch) {
        config.*std::get<bool C::*>(key.Target) = value != 0;
        return true;
    }
    if (value < key.Minimum)
        return false;
    if (const auto* size = std::get_if<std::size_t C::*>(&key.Target))
        config.** size = std::size_t(value);
    else
        config.*std::get<int C::*>(key.Target) = value;
    return true;
}

int SettingNumber(const TSettingKey& key, const TServerConfig& config) {
    if (const auto* flag = std::get_if<bool C::*>(&key.Target))
        return config.**flag ? 1 : 0;
    if (const auto* size = std::get_if<std::size_t C::*>(&key.Target))
        return static_cast<int>(config.**size);
    return config.*std::get<int C::*>(key.Target);
}

bool ApplySettingFlags(const TFlagValues& flags, TServerConfig& config, std::string& error) {
    for (const TSettingKey& key : kKeys) {
        if (!key.Flag)
            continue;
        const auto given = flags.find(key.Flag);
        if (given == flags.end())
            continue;
        if (key.Kind == K::Switch)
            config.*std::get<bool C::*>(key.Target) = false;
        else if (!ApplySettingText(key, given->second, true, config, error))
            return false;
    }
    return true;
}

bool BuildConfig(const TFlagValues& flags, TServerConfig& config, std::string& error) {
    if (const auto file = flags.find("--config");
        file != flags.end() && !file->second.empty() && !LoadConfigFile(file->second, config, error))
        return false;
    if (!ApplySettingFlags(flags, config, error))
        return false;
    if (config.TlsCert.empty() != config.TlsKey.empty()) {
        error = "TLS needs both a certificate and a key";
        return false;
    }
    if (config.Db.empty())
        config.Db = DefaultDbLocation();
    return true;
}

} // namespace zsrv
