#include "server/config/uConfigCheck.h"

#include "server/config/uSettingsKeys.h"
#include "server/store/uServerStore.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <netdb.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sqlite3.h>
#include <unistd.h>

namespace zsrv {

namespace {

QString unquoted(QString v) {
    v = v.trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

bool isServerSection(const QString& section) {
    return section.compare(QStringLiteral("server"), Qt::CaseInsensitive) == 0;
}

bool isAdSection(const QString& section) {
    static const QRegularExpression kAdSection(QStringLiteral("^ads(\\.\\d{1,5})?$"),
                                               QRegularExpression::CaseInsensitiveOption);
    return kAdSection.match(section).hasMatch();
}

// What is wrong with one key=value line of a known section, or nothing.
QString keyProblem(const QString& section, const QString& key, const QString& value) {
    static const QRegularExpression kAdKey(QStringLiteral("^ad[1-9]\\d*(text|url)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (isAdSection(section))
        return kAdKey.match(key).hasMatch() ? QString()
                                            : QStringLiteral("unknown key ") + key + QStringLiteral(" in [") +
                                                  section + QStringLiteral("] (AdNText and AdNUrl only)");
    const TSettingKey* known = FindSettingKey(key.toStdString());
    if (!known)
        return QStringLiteral("unknown key ") + key + QStringLiteral(" in [server]");
    if (IsNumberSetting(*known)) {
        bool ok = false;
        (void)unquoted(value).toInt(&ok, 10);
        return ok ? QString() : key + QStringLiteral(" is not a whole number: ") + value.trimmed();
    }
    return {};
}

std::string withPort(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// A host the listener can bind: an address, or for the web endpoints also a name.
bool hostResolves(const std::string& host, bool numericOnly, std::string& why) {
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    // Something made of digits and dots is meant as an address, never looked up as a name.
    const bool byName = !numericOnly && host.find_first_not_of("0123456789.") != std::string::npos;
    if (rc != 0 && byName) {
        hints.ai_flags = AI_PASSIVE;
        rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    }
    if (rc != 0) {
        why = byName ? gai_strerror(rc) : "not an IP address";
        return false;
    }
    freeaddrinfo(found);
    return true;
}

bool checkTls(const TServerConfig& c, std::string& error) {
    if (c.TlsCert.empty() && c.TlsKey.empty())
        return true;
    if (c.TlsCert.empty() || c.TlsKey.empty()) {
        error = "TLS needs both a certificate (tls_cert) and a key (tls_key)";
        return false;
    }
    using TBio = std::unique_ptr<BIO, decltype(&BIO_free)>;
    const auto open = [&](const std::string& path) {
        TBio bio(BIO_new_file(path.c_str(), "r"), &BIO_free);
        if (!bio)
            error = "cannot read " + path + ": " + std::strerror(errno);
        return bio;
    };
    const TBio certBio = open(c.TlsCert);
    if (!certBio)
        return false;
    const std::unique_ptr<X509, decltype(&X509_free)> cert(
        PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr), &X509_free);
    if (!cert) {
        error = c.TlsCert + " holds no PEM certificate";
        return false;
    }
    const TBio keyBio = open(c.TlsKey);
    if (!keyBio)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!key) {
        error = c.TlsKey + " holds no PEM private key (or one with a passphrase)";
        return false;
    }
    if (X509_check_private_key(cert.get(), key.get()) != 1) {
        error = "the key " + c.TlsKey + " does not belong to the certificate " + c.TlsCert;
        return false;
    }
    return true;
}

// An existing file must be a database the server may write; a missing one
// needs a folder to be made in. Nothing is created here, so a check run by
// another user than the service's leaves no file the service cannot write.
bool checkSqlite(const std::string& path, std::string& state, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(path, ec)) {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
        if (rc != SQLITE_OK || sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                                            nullptr) != SQLITE_OK) {
            error =
                "cannot open the database " + path + ": " + (db ? sqlite3_errmsg(db.get()) : "out of memory");
            return false;
        }
        if (access(path.c_str(), R_OK | W_OK) != 0) {
            error = "the database " + path + " is not writable: " + std::strerror(errno);
            return false;
        }
        state = "exists";
        return true;
    }
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    while (!fs::exists(folder, ec) && folder.has_parent_path() && folder != folder.parent_path())
        folder = folder.parent_path();
    if (!fs::is_directory(folder, ec) || access(folder.c_str(), W_OK | X_OK) != 0) {
        error = "cannot create the database " + path + ": " + folder.string() + " is not a writable folder";
        return false;
    }
    state = "will be created";
    return true;
}

// A PostgreSQL URI without its password, fit for a log.
std::string withoutPassword(const std::string& uri) {
    const std::size_t scheme = uri.find("://");
    const std::size_t at = uri.find('@');
    if (scheme == std::string::npos || at == std::string::npos)
        return uri;
    const std::size_t colon = uri.find(':', scheme + 3);
    if (colon == std::string::npos || colon > at)
        return uri;
    return uri.substr(0, colon + 1) + "***" + uri.substr(at);
}

} // namespace

bool CheckConfigFileKeys(const std::string& path, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path + ": " + file.errorString().toStdString();
        return false;
    }
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    QString section;
    QSet<QString> seen;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        QString problem;
        if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#')) {
            continue;
        } else if (t.startsWith(u'[')) {
            const qsizetype close = t.indexOf(u']');
            section = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
            if (close < 0)
                problem = QStringLiteral("a section header without ]");
            else if (!isServerSection(section) && !isAdSection(section))
                problem = QStringLiteral("unknown section [") + section + u']';
        } else if (const qsizetype eq = t.indexOf(u'='); eq <= 0) {
            problem = QStringLiteral("not key=value: ") + t;
        } else if (section.isEmpty()) {
            problem = QStringLiteral("a key before any section: ") + t;
        } else {
            const QString key = t.left(eq).trimmed();
            problem = keyProblem(section, key, t.mid(eq + 1));
            const QString id = section.toLower() + u'/' + key.toLower();
            if (problem.isEmpty() && seen.contains(id))
                problem = key + QStringLiteral(" is given twice in [") + section + u']';
            seen.insert(id);
        }
        if (!problem.isEmpty()) {
            error = path + " line " + std::to_string(i + 1) + ": " + problem.toStdString();
            return false;
        }
    }
    return true;
}

bool CheckServerConfig(const TServerConfig& c, std::string& report, std::string& error) {
    std::string why;
    if (!hostResolves(c.HttpHost, false, why)) {
        error = "cannot listen on " + withPort(c.HttpHost, c.HttpPort) + ": " + why;
        return false;
    }
    if (!hostResolves(c.PushHost, true, why)) {
        error = "cannot listen for push connections on " + withPort(c.PushHost, c.PushPort) + ": " + why;
        return false;
    }
    in_addr v4{};
    if (!c.PushPublicAddress.empty() && inet_pton(AF_INET, c.PushPublicAddress.c_str(), &v4) != 1) {
        error = "push_address is not a dotted IPv4 address: " + c.PushPublicAddress;
        return false;
    }
    if (!checkTls(c, error))
        return false;

    std::string database;
    if (c.Db.rfind("sqlite:", 0) == 0) {
        std::string state;
        if (!checkSqlite(c.Db.substr(7), state, error))
            return false;
        database = "SQLite " + c.Db.substr(7) + " (" + state + ")";
    } else {
        try {
            (void)OpenStore(c.Db);
        } catch (const std::exception& e) {
            error = e.what();
            return false;
        }
        database = "PostgreSQL " + withoutPassword(c.Db);
    }

    const bool tls = !c.TlsCert.empty();
    report = "web endpoints: " + std::string(tls ? "https://" : "http://") +
             withPort(c.HttpHost, c.HttpPort) + "/\npush server: " + withPort(c.PushHost, c.PushPort) + "\n";
    const bool wildcard = c.PushHost == "0.0.0.0" || c.PushHost == "::";
    const std::string named = !c.PushPublicAddress.empty() ? c.PushPublicAddress
                              : wildcard ? std::string("the address each client reached the web endpoints at")
                                         : c.PushHost;
    report += "push address named to clients: " + named + "\ndatabase: " + database + "\n";
    return true;
}

} // namespace zsrv
