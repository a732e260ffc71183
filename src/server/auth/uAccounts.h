#pragma once
// Passwords. The client proves an account with the MD5 digest of its password
// (32 lower-case hexadecimal digits), so that digest is the secret: the store
// keeps only a salted PBKDF2 hash of it. Checking a digest is slow on purpose;
// a digest once found right is remembered for its account, so the requests of
// a signed-in client cost one comparison.

#include "server/store/uServerStore.h"
#include "shared/uMd5.h"

#include <array>
#include <atomic>
#include <mutex>
#include <semaphore>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace zsrv {

inline constexpr int kDefaultPbkdf2Iterations = 100000;

// "pbkdf2-sha256$ITERATIONS$SALT$HASH" for the digest, hexadecimal salt and hash.
[[nodiscard]] std::string MakeVerifier(std::string_view digest, int iterations);
// A stored verifier may hold several of those joined by ";" (one per way the
// client may have turned the password into bytes); one match suffices. Those
// that share iterations and salt cost one slow hash together.
[[nodiscard]] bool CheckVerifier(std::string_view verifier, std::string_view digest);

// The digests a client can send for a password typed into it: the MD5 of its
// bytes in UTF-8 and in each code page the client may use (a character missing
// there becomes "?", as in the client), without repeats: an ASCII password
// gives one.
[[nodiscard]] std::vector<std::string> CandidateDigests(std::string_view utf8Password);
// The verifier for a password given in plain text (registration, admin): one
// hash per candidate digest, all with one salt, so that checking a digest
// against all of them costs one slow hash.
[[nodiscard]] std::string VerifierForPassword(std::string_view utf8Password, int iterations);

class TAccounts {
public:
    // iterations: the cost of the hash of new passwords, and of the stand-in
    // check for an account that does not exist.
    explicit TAccounts(TServerStore& store, int iterations = kDefaultPbkdf2Iterations)
        : FStore(store), FIterations(iterations) {}

    // The account when the user id names one and the digest proves it.
    [[nodiscard]] std::optional<TAccount> Authenticate(std::string_view userId, std::string_view digest);
    // The same for the account an e-mail address names (sign-in).
    [[nodiscard]] std::optional<TAccount> AuthenticateEmail(std::string_view email, std::string_view digest);
    // The verifier of a new password, computed in turn with the sign-in checks.
    [[nodiscard]] std::string NewVerifier(std::string_view utf8Password);

    // What is known of a user id's (or an e-mail address's) digest without
    // the store or a slow hash: found right, found wrong, or not known. Fast;
    // tells where a request that carries it should wait.
    enum class TKnown { Good, Bad, Unknown };
    [[nodiscard]] TKnown KnownId(std::string_view userId, std::string_view digest);
    [[nodiscard]] TKnown KnownEmail(std::string_view email, std::string_view digest);

    // Slow hashes computed so far (for tests and the log).
    [[nodiscard]] std::uint64_t SlowHashes() const { return FSlowHashCount.load(); }

private:
    // A failed check costs one slow hash whether the account exists or not,
    // and a failure repeated with the same digest costs none either way, so
    // that neither the time nor its change tells whether an account exists.
    [[nodiscard]] std::optional<TAccount> check(std::optional<TAccount> account, std::string_view who,
                                                std::string_view digest);
    template <class TFn> auto slowly(TFn&& fn);
    [[nodiscard]] static std::string hintKey(std::string_view who, std::string_view digest);
    [[nodiscard]] TKnown known(const std::string& who, std::string_view digest);
    void remember(const std::string& key, bool good); // FLock held

    struct TEntry {
        std::string Verifier;                 // the verifier the result was found against
        std::array<unsigned char, 32> Good{}; // SHA-256 of the digest found right
    };
    static constexpr std::size_t kMaxEntries = 200000;

    TServerStore& FStore;
    int FIterations;
    // Slow hashes run two at a time: a flood of wrong passwords or of
    // registrations waits in line instead of taking every core from the
    // requests of signed-in clients.
    std::counting_semaphore<2> FSlowHashes{2};
    std::atomic<std::uint64_t> FSlowHashCount{0};
    std::mutex FLock;
    std::unordered_map<std::int64_t, TEntry> FCache;
    std::unordered_set<std::string> FFailures; // keys of recent failures (see check)
    // Results by name and digest alone: a hint of where a request waits, never proof.
    std::unordered_map<std::string, bool> FHints;
};

} // namespace zsrv
