#include "server/auth/uAccounts.h"

#include "server/base/uCheckQueue.h"

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

// Slow hashes computed on this thread, so that a caller can count its own.
thread_local std::uint64_t tPbkdf2Runs = 0;

std::string pbkdf2(std::string_view digest, std::string_view salt, int iterations) {
    ++tPbkdf2Runs;
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

struct TParsedHash {
    int Iterations = 0;
    std::string Salt;
    std::string_view Hash;
};

// pbkdf2-sha256$ITER$SALT$HASH
std::optional<TParsedHash> parseHash(std::string_view v) {
    const std::size_t a = v.find('$');
    const std::size_t b = v.find('$', a + 1);
    const std::size_t c = v.find('$', b + 1);
    if (a == std::string_view::npos || b == std::string_view::npos || c == std::string_view::npos ||
        v.substr(0, a) != "pbkdf2-sha256")
        return std::nullopt;
    TParsedHash h;
    const std::string_view it = v.substr(a + 1, b - a - 1);
    if (std::from_chars(it.data(), it.data() + it.size(), h.Iterations).ec != std::errc() ||
        h.Iterations <= 0)
        return std::nullopt;
    const std::string_view saltHex = v.substr(b + 1, c - b - 1);
    for (std::size_t i = 0; i + 1 < saltHex.size(); i += 2) {
        unsigned x = 0;
        std::from_chars(saltHex.data() + i, saltHex.data() + i + 2, x, 16);
        h.Salt += char(x);
    }
    h.Hash = v.substr(c + 1);
    return h;
}

std::string makeSalt() {
    unsigned char salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1)
        throw std::runtime_error("no random bytes for a salt");
    return std::string(reinterpret_cast<const char*>(salt), sizeof salt);
}

std::string verifierWithSalt(std::string_view digest, int iterations, const std::string& salt) {
    return "pbkdf2-sha256$" + std::to_string(iterations) + "$" +
           toHex(reinterpret_cast<const unsigned char*>(salt.data()), salt.size()) + "$" +
           pbkdf2(lowerAscii(digest), salt, iterations);
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

std::string MakeVerifier(std::string_view digest, int iterations) {
    return verifierWithSalt(digest, iterations, makeSalt());
}

bool CheckVerifier(std::string_view verifier, std::string_view digest) {
    const std::string d = lowerAscii(digest);
    // Each distinct iterations-and-salt pair is hashed once; every hash is compared.
    std::vector<std::pair<TParsedHash, std::string>> computed;
    bool match = false;
    while (!verifier.empty()) {
        const std::size_t semi = verifier.find(';');
        if (const auto h = parseHash(verifier.substr(0, semi))) {
            auto it = std::find_if(computed.begin(), computed.end(), [&](const auto& c) {
                return c.first.Iterations == h->Iterations && c.first.Salt == h->Salt;
            });
            if (it == computed.end())
                it = computed.insert(computed.end(), {*h, pbkdf2(d, h->Salt, h->Iterations)});
            const std::string& actual = it->second;
            match = (h->Hash.size() == actual.size() &&
                     CRYPTO_memcmp(h->Hash.data(), actual.data(), actual.size()) == 0) ||
                    match;
        }
        verifier = semi == std::string_view::npos ? std::string_view() : verifier.substr(semi + 1);
    }
    return match;
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
    const std::string salt = makeSalt();
    std::string v;
    for (const std::string& d : CandidateDigests(utf8Password)) {
        if (!v.empty())
            v += ';';
        v += verifierWithSalt(d, iterations, salt);
    }
    return v;
}

template <class TFn> auto TAccounts::slowly(TFn&& fn) {
    struct TTurn {
        std::counting_semaphore<2>& Sem;
        explicit TTurn(std::counting_semaphore<2>& s) : Sem(s) { Sem.acquire(); }
        ~TTurn() { Sem.release(); }
    } turn(FSlowHashes);
    const std::uint64_t before = tPbkdf2Runs;
    auto result = fn();
    FSlowHashCount += tPbkdf2Runs - before;
    return result;
}

std::string TAccounts::NewVerifier(std::string_view utf8Password) {
    return slowly([&] { return VerifierForPassword(utf8Password, FIterations); });
}

std::string TAccounts::hintKey(std::string_view who, std::string_view digest) {
    std::string key(who);
    key += '\0';
    key += lowerAscii(digest);
    const auto hash = sha256(key);
    return std::string(reinterpret_cast<const char*>(hash.data()), hash.size());
}

TAccounts::TKnown TAccounts::known(const std::string& who, std::string_view digest) {
    if (digest.empty() || digest.size() > 128)
        return TKnown::Bad;
    const std::string key = hintKey(who, digest);
    std::lock_guard l(FLock);
    const auto it = FHints.find(key);
    if (it == FHints.end())
        return TKnown::Unknown;
    return it->second ? TKnown::Good : TKnown::Bad;
}

void TAccounts::remember(const std::string& key, bool good) {
    if (FHints.size() >= kMaxEntries)
        FHints.clear();
    FHints[key] = good;
}

TAccounts::TKnown TAccounts::KnownId(std::string_view userId, std::string_view digest) {
    std::int64_t id = 0;
    const auto r = std::from_chars(userId.data(), userId.data() + userId.size(), id);
    if (r.ec != std::errc() || r.ptr != userId.data() + userId.size() || id <= 0)
        return TKnown::Bad;
    return known("id:" + std::to_string(id), digest);
}

TAccounts::TKnown TAccounts::KnownEmail(std::string_view email, std::string_view digest) {
    if (email.empty())
        return TKnown::Bad;
    return known("email:" + lowerAscii(email), digest);
}

std::optional<TAccount> TAccounts::Authenticate(std::string_view userId, std::string_view digest) {
    std::int64_t id = 0;
    const auto r = std::from_chars(userId.data(), userId.data() + userId.size(), id);
    if (r.ec != std::errc() || r.ptr != userId.data() + userId.size() || id <= 0)
        return std::nullopt;
    return check(FStore.AccountById(id), "id:" + std::to_string(id), digest);
}

std::optional<TAccount> TAccounts::AuthenticateEmail(std::string_view email, std::string_view digest) {
    if (email.empty())
        return std::nullopt;
    return check(FStore.AccountByEmail(email), "email:" + lowerAscii(email), digest);
}

std::optional<TAccount> TAccounts::check(std::optional<TAccount> account, std::string_view who,
                                         std::string_view digest) {
    if (digest.empty() || digest.size() > 128) {
        TCheckQueue::NoteFailedCheck();
        return std::nullopt;
    }
    const std::string lower = lowerAscii(digest);
    const std::string hint = hintKey(who, digest);
    const auto hash = sha256(lower);
    // A failure is remembered by the name it was asked under (so that it
    // cannot tell another name of the same account from a name of none) and,
    // for an account, its verifier (so that a new password is checked anew).
    std::string failureKey(who);
    failureKey += '\0';
    failureKey += account ? account->Verifier : std::string();
    failureKey += '\0';
    failureKey += lower;
    const auto failureHash = sha256(failureKey);
    const std::string failure(reinterpret_cast<const char*>(failureHash.data()), failureHash.size());
    {
        std::lock_guard l(FLock);
        if (account) {
            const auto it = FCache.find(account->Id);
            if (it != FCache.end() && it->second.Verifier == account->Verifier && it->second.Good == hash) {
                remember(hint, true);
                TCheckQueue::NoteGoodCheck();
                return account;
            }
        }
        if (FFailures.count(failure)) {
            TCheckQueue::NoteFailedCheck();
            return std::nullopt;
        }
    }
    bool ok = false;
    if (account) {
        ok = slowly([&] { return CheckVerifier(account->Verifier, digest); });
    } else {
        // The same work as checking a real account's digest, with nothing to find.
        static const std::string kSalt(16, '\x5a');
        slowly([&] { return pbkdf2(lower, kSalt, FIterations); });
    }
    std::lock_guard l(FLock);
    if (ok) {
        if (FCache.size() >= kMaxEntries)
            FCache.clear();
        FCache[account->Id] = TEntry{account->Verifier, hash};
        remember(hint, true);
        TCheckQueue::NoteGoodCheck();
        return account;
    }
    if (FFailures.size() >= kMaxEntries)
        FFailures.clear();
    FFailures.insert(failure);
    remember(hint, false);
    TCheckQueue::NoteFailedCheck();
    return std::nullopt;
}

} // namespace zsrv
