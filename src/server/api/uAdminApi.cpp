#include "server/api/uAdminApi.h"

#include "server/auth/uAccounts.h"
#include "server/config/uServerConfig.h"
#include "server/store/uServerStore.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <utility>

namespace zsrv {

namespace {

std::string password(const TAdminArgs& a) {
    if (a.Options.count("--password-stdin")) {
        std::string line;
        std::getline(std::cin, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
    const auto it = a.Options.find("--password");
    return it == a.Options.end() ? std::string() : it->second;
}

int addUser(const TAdminArgs& a, const TServerConfig& c) {
    const auto email = a.Options.find("--email");
    const auto name = a.Options.find("--name");
    const std::string pass = password(a);
    if (email == a.Options.end() || name == a.Options.end() || pass.empty()) {
        std::fputs("add-user needs --email, --name and a password\n", stderr);
        return 2;
    }
    const auto store = OpenStore(c.Db);
    const auto id = store->CreateAccount(TNewAccount{
        email->second, name->second, VerifierForPassword(pass, c.Pbkdf2Iterations), "regfrom=admin\n"});
    if (!id) {
        std::fprintf(stderr, "the account %s exists already\n", email->second.c_str());
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(*id));
    return 0;
}

int setPassword(const TAdminArgs& a, const TServerConfig& c) {
    const auto email = a.Options.find("--email");
    const std::string pass = password(a);
    if (email == a.Options.end() || pass.empty()) {
        std::fputs("set-password needs --email and a password\n", stderr);
        return 2;
    }
    const auto store = OpenStore(c.Db);
    const auto account = store->AccountByEmail(email->second);
    if (!account || !store->SetVerifier(account->Id, VerifierForPassword(pass, c.Pbkdf2Iterations))) {
        std::fprintf(stderr, "no account %s\n", email->second.c_str());
        return 1;
    }
    return 0;
}

int addAudio(const TAdminArgs& a, const TServerConfig& c) {
    const auto user = a.Options.find("--user");
    const auto note = a.Options.find("--note");
    if (user == a.Options.end() || note == a.Options.end() || a.Positional.size() != 1) {
        std::fputs("add-audio needs --user, --note and one file\n", stderr);
        return 2;
    }
    std::ifstream in(a.Positional[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", a.Positional[0].c_str());
        return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto store = OpenStore(c.Db);
    std::optional<TAccount> account = store->AccountByEmail(user->second);
    if (!account && user->second.find_first_not_of("0123456789") == std::string::npos &&
        !user->second.empty())
        account = store->AccountById(std::stoll(user->second));
    if (!account) {
        std::fprintf(stderr, "no account %s\n", user->second.c_str());
        return 1;
    }
    const std::string md5 = Md5HexOf(bytes);
    if (!store->PutAudio(account->Id, note->second, TAudio{std::move(bytes), md5})) {
        std::fprintf(stderr, "the account has no note %s\n", note->second.c_str());
        return 1;
    }
    std::printf("%s\n", md5.c_str());
    return 0;
}

// One block per message, the text indented, so that a message of several lines stays readable.
int feedbackList(const TAdminArgs& a, const TServerConfig& c) {
    if (a.Positional.size() != 1 || a.Positional[0] != "list") {
        std::fputs("feedback takes one subcommand: list\n", stderr);
        return 2;
    }
    const auto store = OpenStore(c.Db);
    const std::vector<TStoredFeedback> all = store->Feedback();
    for (const TStoredFeedback& f : all) {
        std::printf("#%lld  %s  %s <%s>  %s  from %s\n", static_cast<long long>(f.Id), f.ReceivedAt.c_str(),
                    f.Item.Name.c_str(), f.Item.Email.c_str(), f.Item.Product.c_str(),
                    f.Item.RemoteAddr.c_str());
        std::istringstream lines(f.Item.Content);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::printf("    %s\n", line.c_str());
        }
        std::puts("");
    }
    std::printf("%zu feedback message%s\n", all.size(), all.size() == 1 ? "" : "s");
    return 0;
}

} // namespace

std::optional<int> RunAdminCommand(const std::string& command, const TAdminArgs& args,
                                   const TServerConfig& config) {
    using TCommand = int (*)(const TAdminArgs&, const TServerConfig&);
    static const std::pair<std::string_view, TCommand> kCommands[] = {{"add-user", addUser},
                                                                      {"set-password", setPassword},
                                                                      {"add-audio", addAudio},
                                                                      {"feedback", feedbackList}};
    for (const auto& [name, run] : kCommands)
        if (command == name)
            return run(args, config);
    return std::nullopt;
}

} // namespace zsrv
