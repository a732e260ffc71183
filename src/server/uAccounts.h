#pragma once
// Passwords. The client proves an account with the MD5 digest of its password
// (32 lower-case hexadecimal digits), so that digest is the secret: the store
// keeps only a salted PBKDF2 hash of it. Checking a digest is slow on purpose;
// a digest once found right is remembered for its account, so the requests of
// a signed-in client cost one comparison.

#include "server/uServerStore.h"

#include <array>
#include <mutex>
#include <semaphore>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zsrv {

inline constexpr int kDefaultPbkdf2Iterations = 100000;

// "pbkdf2-sha256$ITERATIONS$SALT$HASH" for the digest, hexadecimal salt and hash.
[[nodiscard]] std::string MakeVerifier(std::string_view digest, int iterations);
// A stored verifier may hold several of those joined by ";" (one per way the
// client may have turned the password into bytes); one match suffices.
[[nodiscard]] bool CheckVerifier(std::string_view verifier, std::string_view digest);

// The digests a client can send for a password typed into it: the MD5 of its
// bytes in UTF-8 and in each code page the client may use (a character missing
// there becomes "?", as in the client), without repeats: an ASCII password
// gives one.
[[nodiscard]] std::vector<std::string> CandidateDigests(std::string_view utf8Password);
// The verifier for a password given in plain text (registration, admin).
[[nodiscard]] std::string VerifierForPassword(std::string_view utf8Password, int iterations);

[[nodiscard]] std::string Md5HexOf(std::string_view bytes);

class TAccounts {
public:
    explicit TAccounts(TServerStore& store) : FStore(store) {}

    // The account when the user id names one and the digest proves it.
    [[nodiscard]] std::optional<TAccount> Authenticate(std::string_view userId, std::string_view digest);
    [[nodiscard]] std::optional<TAccount> AuthenticateAccount(std::optional<TAccount> account,
                                                              std::string_view digest);

private:
    struct TEntry {
        std::string Verifier;                 // the verifier the result was found against
        std::array<unsigned char, 32> Good{}; // SHA-256 of the digest found right
        std::array<unsigned char, 32> Bad{};  // ... and of the last one found wrong
        bool HasGood = false;
        bool HasBad = false;
    };
    static constexpr std::size_t kMaxEntries = 200000;

    TServerStore& FStore;
    // Slow hashes run two at a time: a flood of wrong passwords waits in line
    // instead of taking every core from the requests of signed-in clients.
    std::counting_semaphore<2> FSlowHashes{2};
    std::mutex FLock;
    std::unordered_map<std::int64_t, TEntry> FCache;
};

} // namespace zsrv
