#include "server/config/uServerConfig.h"

#include "server/config/uConfigCheck.h"
#include "shared/uIniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <charconv>
#include <cstdlib>

namespace zsrv {

const std::vector<TAdLine>& TServerConfig::AdsFor(int language) const {
    static const std::vector<TAdLine> kNone;
    auto it = Ads.find(language);
    if (it != Ads.end() && !it->second.empty())
        return it->second;
    it = Ads.find(0);
    return it == Ads.end() ? kNone : it->second;
}

std::string DefaultDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (xdg && *xdg)
        base = xdg;
    else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.local/share";
    }
    return base + "/Zuvo/Server";
}

std::string DefaultDbLocation() {
    return "sqlite:" + DefaultDataDir() + "/server.db";
}

bool SplitHostPort(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    int p = 0;
    const char* b = text.data() + colon + 1;
    const char* e = text.data() + text.size();
    const auto r = std::from_chars(b, e, p);
    if (r.ec != std::errc() || r.ptr != e || p < 0 || p > 65535)
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    port = p;
    return true;
}

bool LoadConfigFile(const std::string& path, TServerConfig& c, std::string& error) {
    const QString file = QString::fromStdString(path);
    if (!QFileInfo(file).isFile()) {
        error = "cannot read " + path;
        return false;
    }
    if (!CheckConfigFileKeys(path, error))
        return false;
    const TIniFile ini(file);
    const QString s = QStringLiteral("server");
    const auto str = [&](const char* key) {
        return ini.ReadString(s, QString::fromLatin1(key), {}).toStdString();
    };
    const auto hostPort = [&](const char* key, std::string& host, int& port) {
        const std::string v = str(key);
        if (!v.empty() && !SplitHostPort(v, host, port)) {
            error = std::string(key) + " is not host:port: " + v;
            return false;
        }
        return true;
    };
    if (!hostPort("listen", c.HttpHost, c.HttpPort) || !hostPort("push", c.PushHost, c.PushPort))
        return false;
    if (const std::string v = str("db"); !v.empty())
        c.Db = v;
    if (const std::string v = str("tls_cert"); !v.empty())
        c.TlsCert = v;
    if (const std::string v = str("tls_key"); !v.empty())
        c.TlsKey = v;
    if (const std::string v = str("push_address"); !v.empty())
        c.PushPublicAddress = v;
    if (const std::string v = str("support_mail"); !v.empty())
        c.SupportMail = v;
    c.PushIdleSeconds = ini.ReadInteger(s, QStringLiteral("push_idle_seconds"), c.PushIdleSeconds);
    c.PushLoginSeconds = ini.ReadInteger(s, QStringLiteral("push_login_seconds"), c.PushLoginSeconds);
    c.PushUnsignedPerAddress =
        ini.ReadInteger(s, QStringLiteral("push_unsigned_per_address"), c.PushUnsignedPerAddress);
    c.PushUnsignedTotal = ini.ReadInteger(s, QStringLiteral("push_unsigned_total"), c.PushUnsignedTotal);
    c.PushDevicesPerAccount =
        ini.ReadInteger(s, QStringLiteral("push_devices_per_account"), c.PushDevicesPerAccount);
    c.PushConnections = ini.ReadInteger(s, QStringLiteral("push_connections"), c.PushConnections);
    c.HashThreads = ini.ReadInteger(s, QStringLiteral("hash_threads"), c.HashThreads);
    c.HashQueue = ini.ReadInteger(s, QStringLiteral("hash_queue"), c.HashQueue);
    c.MaxBodyBytes = std::size_t(
        ini.ReadInteger(s, QStringLiteral("max_body_bytes"), static_cast<qint32>(c.MaxBodyBytes)));
    c.HttpThreads = ini.ReadInteger(s, QStringLiteral("http_threads"), c.HttpThreads);
    c.Pbkdf2Iterations = ini.ReadInteger(s, QStringLiteral("pbkdf2_iterations"), c.Pbkdf2Iterations);
    c.LogRequests = ini.ReadBool(s, QStringLiteral("log_requests"), c.LogRequests);
    if (const std::string v = str("sqlite_sync"); !v.empty()) {
        if (v != "full" && v != "normal") {
            error = "sqlite_sync is full or normal, not " + v;
            return false;
        }
        c.SqliteFullSync = v == "full";
    }

    // [ads] holds Ad1Text/Ad1Url, Ad2Text/Ad2Url ... ; [ads.2052] the lines for one language.
    const auto readAds = [&](const QString& section, int language) {
        std::vector<TAdLine> lines;
        for (int i = 1;; ++i) {
            const QString n = QString::number(i);
            if (!ini.valueExists(section, QStringLiteral("Ad") + n + QStringLiteral("Text")))
                break;
            lines.push_back(
                {ini.ReadString(section, QStringLiteral("Ad") + n + QStringLiteral("Text"), {}).toStdString(),
                 ini.ReadString(section, QStringLiteral("Ad") + n + QStringLiteral("Url"), {})
                     .toStdString()});
        }
        if (!lines.empty())
            c.Ads[language] = std::move(lines);
    };
    readAds(QStringLiteral("ads"), 0);
    // The INI reader lists no sections, so the language sections are found in the text.
    QFile raw(file);
    if (raw.open(QIODevice::ReadOnly)) {
        static const QRegularExpression kSection(QStringLiteral("^\\s*\\[\\s*ads\\.(\\d{1,5})\\s*\\]"),
                                                 QRegularExpression::CaseInsensitiveOption |
                                                     QRegularExpression::MultilineOption);
        auto it = kSection.globalMatch(QString::fromUtf8(raw.readAll()));
        while (it.hasNext()) {
            const auto m = it.next();
            readAds(QStringLiteral("ads.") + m.captured(1), m.captured(1).toInt());
        }
    }
    if (c.PushIdleSeconds <= 0 || c.PushLoginSeconds <= 0 || c.PushUnsignedPerAddress <= 0 ||
        c.PushUnsignedTotal <= 0 || c.PushDevicesPerAccount <= 0 || c.HashThreads <= 0 || c.HashQueue <= 0 ||
        c.PushConnections < 0 || c.HttpThreads <= 0 || c.Pbkdf2Iterations <= 0 || c.MaxBodyBytes == 0) {
        error = "a number in [server] is out of range";
        return false;
    }
    return true;
}

} // namespace zsrv
