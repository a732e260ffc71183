#include "server/uAccounts.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace zsrv {

namespace {

std::string toHex(const unsigned char* p, std::size_t n) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out += kHex[p[i] >> 4];
        out += kHex[p[i] & 15];
    }
    return out;
}

std::string pbkdf2(std::string_view digest, std::string_view salt, int iterations) {
    unsigned char out[32];
    if (PKCS5_PBKDF2_HMAC(digest.data(), int(digest.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()), int(salt.size()), iterations,
                          EVP_sha256(), sizeof out, out) != 1)
        throw std::runtime_error("PBKDF2 failed");
    return toHex(out, sizeof out);
}

std::array<unsigned char, 32> sha256(std::string_view bytes) {
    std::array<unsigned char, 32> out{};
    unsigned int n = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), out.data(), &n, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    return out;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch + 32);
    return out;
}

bool checkOne(std::string_view v, std::string_view digest) {
    // pbkdf2-sha256$ITER$SALT$HASH
    const std::size_t a = v.find('$');
    const std::size_t b = v.find('$', a + 1);
    const std::size_t c = v.find('$', b + 1);
    if (a == std::string_view::npos || b == std::string_view::npos || c == std::string_view::npos ||
        v.substr(0, a) != "pbkdf2-sha256")
        return false;
    int iterations = 0;
    const std::string_view it = v.substr(a + 1, b - a - 1);
    if (std::from_chars(it.data(), it.data() + it.size(), iterations).ec != std::errc() || iterations <= 0)
        return false;
    const std::string_view saltHex = v.substr(b + 1, c - b - 1);
    std::string salt;
    for (std::size_t i = 0; i + 1 < saltHex.size(); i += 2) {
        unsigned x = 0;
        std::from_chars(saltHex.data() + i, saltHex.data() + i + 2, x, 16);
        salt += char(x);
    }
    const std::string expected(v.substr(c + 1));
    const std::string actual = pbkdf2(digest, salt, iterations);
    return expected.size() == actual.size() &&
           CRYPTO_memcmp(expected.data(), actual.data(), actual.size()) == 0;
}

struct TIconvClose {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};

// The password's bytes in a code page as the client makes them: a character
// the code page lacks becomes "?".
std::string convert(std::string_view utf8, const char* codePage) {
    iconv_t cd = iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(utf8);
    std::unique_ptr<std::remove_pointer_t<iconv_t>, TIconvClose> guard(cd);
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::string ch(utf8.substr(i, len));
        i += len;
        char buf[16];
        char* ip = ch.data();
        std::size_t il = ch.size();
        char* op = buf;
        std::size_t ol = sizeof buf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0)
            out += '?';
        else
            out.append(buf, sizeof buf - ol);
    }
    return out;
}

} // namespace

std::string Md5HexOf(std::string_view bytes) {
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), d, &n, EVP_md5(), nullptr) != 1)
        throw std::runtime_error("MD5 failed");
    return toHex(d, n);
}

std::string MakeVerifier(std::string_view digest, int iterations) {
    unsigned char salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1)
        throw std::runtime_error("no random bytes for a salt");
    const std::string d = lowerAscii(digest);
    return "pbkdf2-sha256$" + std::to_string(iterations) + "$" + toHex(salt, sizeof salt) + "$" +
           pbkdf2(d, std::string_view(reinterpret_cast<const char*>(salt), sizeof salt), iterations);
}

bool CheckVerifier(std::string_view verifier, std::string_view digest) {
    const std::string d = lowerAscii(digest);
    while (!verifier.empty()) {
        const std::size_t semi = verifier.find(';');
        if (checkOne(verifier.substr(0, semi), d))
            return true;
        verifier = semi == std::string_view::npos ? std::string_view() : verifier.substr(semi + 1);
    }
    return false;
}

std::vector<std::string> CandidateDigests(std::string_view utf8Password) {
    std::vector<std::string> out{Md5HexOf(utf8Password)};
    for (const char* cp : {"WINDOWS-1252", "GBK", "BIG5", "SHIFT_JIS", "CP949", "CP1251"}) {
        std::string d = Md5HexOf(convert(utf8Password, cp));
        if (std::find(out.begin(), out.end(), d) == out.end())
            out.push_back(std::move(d));
    }
    return out;
}

std::string VerifierForPassword(std::string_view utf8Password, int iterations) {
    std::string v;
    for (const std::string& d : CandidateDigests(utf8Password)) {
        if (!v.empty())
            v += ';';
        v += MakeVerifier(d, iterations);
    }
    return v;
}

std::optional<TAccount> TAccounts::Authenticate(std::string_view userId, std::string_view digest) {
    std::int64_t id = 0;
    const auto r = std::from_chars(userId.data(), userId.data() + userId.size(), id);
    if (r.ec != std::errc() || r.ptr != userId.data() + userId.size() || id <= 0)
        return std::nullopt;
    return AuthenticateAccount(FStore.AccountById(id), digest);
}

std::optional<TAccount> TAccounts::AuthenticateAccount(std::optional<TAccount> account,
                                                       std::string_view digest) {
    if (!account || digest.empty() || digest.size() > 128)
        return std::nullopt;
    const auto hash = sha256(lowerAscii(digest));
    {
        std::lock_guard l(FLock);
        const auto it = FCache.find(account->Id);
        if (it != FCache.end() && it->second.Verifier == account->Verifier) {
            if (it->second.HasGood && it->second.Good == hash)
                return account;
            if (it->second.HasBad && it->second.Bad == hash)
                return std::nullopt;
        }
    }
    bool ok = false;
    {
        struct TTurn {
            std::counting_semaphore<2>& Sem;
            explicit TTurn(std::counting_semaphore<2>& s) : Sem(s) { Sem.acquire(); }
            ~TTurn() { Sem.release(); }
        } turn(FSlowHashes);
        ok = CheckVerifier(account->Verifier, digest);
    }
    {
        std::lock_guard l(FLock);
        if (FCache.size() >= kMaxEntries)
            FCache.clear();
        TEntry& e = FCache[account->Id];
        if (e.Verifier != account->Verifier)
            e = TEntry{account->Verifier, {}, {}, false, false};
        // A wrong digest is remembered too (apart from the right one), so a
        // device retrying a stale password does not cost a slow hash each time.
        (ok ? e.Good : e.Bad) = hash;
        (ok ? e.HasGood : e.HasBad) = true;
    }
    return ok ? account : std::nullopt;
}

} // namespace zsrv
