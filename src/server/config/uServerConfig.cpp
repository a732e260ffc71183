#include "server/config/uServerConfig.h"

#include "server/config/uConfigCheck.h"
#include "server/config/uSettingsKeys.h"
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
    bool inRange = true;
    for (const TSettingKey& key : SettingKeys()) {
        const QString name = QString::fromLatin1(key.Key);
        if (IsNumberSetting(key))
            inRange = ApplySettingNumber(key, ini.ReadInteger(s, name, SettingNumber(key, c)), c) && inRange;
        else if (!ApplySettingText(key, ini.ReadString(s, name, {}).toStdString(), false, c, error))
            return false;
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
    if (!inRange) {
        error = "a number in [server] is out of range";
        return false;
    }
    return true;
}

} // namespace zsrv
