// Push benchmark: holds many idle signed-in connections against a push server
// and measures its memory per connection and the fan-out latency from one
// device's note-changed notice to its arrival on the user's other devices.
// The same measurements run against an MQTT broker (the reference), where a
// device is a subscriber of its user's topic.
//
//   push_bench setup --db LOCATION --idle-users N [--notes N] accounts (and notes of account 1)
//   push_bench push  --port P --pid PID [run options]   our push server
//   push_bench mqtt  --port P --pid PID [run options]   an MQTT broker
// run options: --idle N (10000) --idle-users N (100) --groups 5,100 --rounds N (300)

#include "server/uAccounts.h"
#include "server/uServerStore.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr const char* kPassword = "bench-pass";

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch()).count();
}

long rssKb(int pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

void put32(std::string& s, std::size_t at, std::int32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + std::size_t(i)] = char((std::uint32_t(v) >> (8 * i)) & 0xFF);
}
std::int32_t get32(const std::string& s, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= std::uint32_t(static_cast<unsigned char>(s[at + std::size_t(i)])) << (8 * i);
    return std::int32_t(u);
}

// --- our push protocol

std::string pushHeader(std::int32_t cmd, const std::string& device) {
    std::string h(132, '\0');
    put32(h, 0, 502613);
    put32(h, 4, 1);
    put32(h, 8, cmd);
    put32(h, 24, 100);
    put32(h, 28, std::int32_t(device.size()));
    std::memcpy(h.data() + 32, device.data(), device.size());
    return h;
}
std::string pushLogin(const std::string& device, std::int32_t user, const std::string& digest) {
    std::string b(212, '\0');
    put32(b, 0, user);
    put32(b, 4, 5);
    put32(b, 8, std::int32_t(digest.size()));
    std::memcpy(b.data() + 12, "bench", 5);
    std::memcpy(b.data() + 112, digest.data(), digest.size());
    return pushHeader(1, device) + b;
}
std::string pushNotice(const std::string& device, std::int32_t user, const std::string& note) {
    std::string b(58, '\0');
    put32(b, 0, user);
    put32(b, 4, std::int32_t(note.size()));
    std::memcpy(b.data() + 8, note.data(), note.size());
    return pushHeader(10, device) + b;
}
std::string pushKeepAlive() {
    return pushHeader(20, "") + std::string(8, '\0');
}

// --- MQTT 3.1.1, the few packets a subscriber and a publisher need

std::string mqttString(const std::string& s) {
    return std::string{char(s.size() >> 8), char(s.size() & 0xFF)} + s;
}
std::string mqttPacket(unsigned char type, const std::string& body) {
    std::string out(1, char(type));
    std::size_t n = body.size();
    do {
        unsigned char b = n % 128;
        n /= 128;
        if (n)
            b |= 128;
        out += char(b);
    } while (n);
    return out + body;
}
std::string mqttConnect(const std::string& clientId) {
    // protocol name, level 4, clean session, keep-alive 0 (none)
    return mqttPacket(0x10, mqttString("MQTT") + std::string{4, 2, 0, 0} + mqttString(clientId));
}
std::string mqttSubscribe(const std::string& topic) {
    return mqttPacket(0x82, std::string{0, 1} + mqttString(topic) + std::string(1, '\0'));
}
std::string mqttPublish(const std::string& topic, const std::string& payload) {
    return mqttPacket(0x30, mqttString(topic) + payload);
}

struct TConn {
    int Fd = -1;
    std::string In;
    int Group = -1; // -1: idle; else the fan-out group
    bool Ready = false;
};

class TBench {
public:
    TBench(bool mqtt, int port) : FMqtt(mqtt), FPort(port), FEp(epoll_create1(0)) {}

    int open(int group) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(FPort));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            std::perror("connect");
            std::exit(1);
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = std::uint32_t(FConns.size());
        epoll_ctl(FEp, EPOLL_CTL_ADD, fd, &ev);
        FConns.push_back(TConn{fd, {}, group, false});
        return int(FConns.size() - 1);
    }

    void send(int c, const std::string& bytes) {
        if (::send(FConns[std::size_t(c)].Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
            ssize_t(bytes.size())) {
            std::perror("send");
            std::exit(1);
        }
    }

    // Reads what arrived for up to `ms`; calls onMessage(conn, payload or note id, kind).
    template <class F> void pump(int ms, F&& onMessage) {
        epoll_event events[256];
        const int n = epoll_wait(FEp, events, 256, ms);
        for (int i = 0; i < n; ++i) {
            TConn& c = FConns[events[i].data.u32];
            char buf[4096];
            const ssize_t got = ::recv(c.Fd, buf, sizeof buf, 0);
            if (got <= 0) {
                std::fprintf(stderr, "connection %u closed by the server\n", events[i].data.u32);
                std::exit(1);
            }
            c.In.append(buf, std::size_t(got));
            FMqtt ? parseMqtt(int(events[i].data.u32), onMessage)
                  : parsePush(int(events[i].data.u32), onMessage);
        }
    }

    TConn& conn(int c) { return FConns[std::size_t(c)]; }
    [[nodiscard]] bool mqtt() const { return FMqtt; }

private:
    template <class F> void parsePush(int id, F& onMessage) {
        TConn& c = FConns[std::size_t(id)];
        while (c.In.size() >= 132) {
            const std::int32_t cmd = get32(c.In, 8);
            const std::size_t size = 132 + (cmd == 10 ? 58 : cmd == 20 ? 8 : 0);
            if (c.In.size() < size)
                return;
            if (cmd == 10)
                onMessage(id, c.In.substr(140, std::size_t(get32(c.In, 136))), 'N');
            else
                onMessage(id, std::string(), 'K');
            c.In.erase(0, size);
        }
    }
    template <class F> void parseMqtt(int id, F& onMessage) {
        TConn& c = FConns[std::size_t(id)];
        for (;;) {
            if (c.In.size() < 2)
                return;
            std::size_t len = 0, mul = 1, at = 1;
            while (true) {
                if (at >= c.In.size())
                    return;
                const auto b = static_cast<unsigned char>(c.In[at++]);
                len += (b & 127) * mul;
                mul *= 128;
                if (!(b & 128))
                    break;
            }
            if (c.In.size() < at + len)
                return;
            const auto type = static_cast<unsigned char>(c.In[0]) & 0xF0;
            if (type == 0x30) {
                const std::size_t tl = (std::size_t(static_cast<unsigned char>(c.In[at])) << 8) |
                                       static_cast<unsigned char>(c.In[at + 1]);
                onMessage(id, c.In.substr(at + 2 + tl, len - 2 - tl), 'N');
            } else {
                onMessage(id, std::string(), type == 0x90 ? 'K' : 'C');
            }
            c.In.erase(0, at + len);
        }
    }

    bool FMqtt;
    int FPort;
    int FEp;
    std::vector<TConn> FConns;
};

std::map<std::string, std::string> options(int argc, char** argv, int from) {
    std::map<std::string, std::string> o;
    for (int i = from; i + 1 < argc; i += 2)
        o[argv[i]] = argv[i + 1];
    return o;
}

double pct(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p / 100.0 * double(v.size())))];
}

int setup(const std::map<std::string, std::string>& o) {
    auto store = zsrv::OpenStore(o.at("--db"));
    const int users = 2 + std::stoi(o.count("--idle-users") ? o.at("--idle-users") : "100");
    // Few rounds of the slow hash: the benchmark measures the push path, and
    // the sign-in check of each account runs once per server process anyway.
    const std::string verifier = zsrv::VerifierForPassword(kPassword, 1000);
    for (int i = 1; i <= users; ++i)
        (void)store->CreateAccount({"bench" + std::to_string(i) + "@example.com", "B", verifier, ""});
    // Notes for account 1, for the web service's benchmark.
    const int notes = std::stoi(o.count("--notes") ? o.at("--notes") : "0");
    std::vector<zsrv::TUploadNote> batch;
    for (int i = 0; i < notes; ++i) {
        zsrv::TUploadNote n;
        char id[40];
        std::snprintf(id, sizeof id, "%08X-1111-2222-3333-%012d", i, i);
        n.Note.Values[zsrv::ncId] = id;
        n.Note.Values[zsrv::ncText] = "Note " + std::to_string(i) +
                                      ": buy milk, call the plumber about the kitchen tap, "
                                      "and book the train for Friday <8:15> & back.";
        n.Present.set(zsrv::ncId);
        n.Present.set(zsrv::ncText);
        batch.push_back(std::move(n));
    }
    if (!batch.empty())
        store->StoreNotes(1, "BENCH-SETUP", zsrv::TFieldSet{}, batch);
    return 0;
}

int run(bool mqtt, const std::map<std::string, std::string>& o) {
    const auto get = [&](const char* k, const char* d) { return o.count(k) ? o.at(k) : std::string(d); };
    const int port = std::stoi(get("--port", "50001"));
    const int pid = std::stoi(get("--pid", "0"));
    const int idle = std::stoi(get("--idle", "10000"));
    const int idleUsers = std::stoi(get("--idle-users", "100"));
    const int rounds = std::stoi(get("--rounds", "300"));
    std::vector<int> groups;
    for (std::stringstream ss(get("--groups", "5,100")); ss.good();) {
        std::string g;
        std::getline(ss, g, ',');
        groups.push_back(std::stoi(g));
    }
    const std::string digest = Md5HexOf(kPassword);
    TBench b(mqtt, port);
    const long before = rssKb(pid);

    // Idle devices: accounts 3.. (1 and 2 are the fan-out users).
    int acks = 0;
    const auto countAcks = [&](int, const std::string&, char kind) { acks += kind == 'K'; };
    for (int i = 0; i < idle; ++i) {
        const int c = b.open(-1);
        const int user = 3 + i % idleUsers;
        char device[40];
        std::snprintf(device, sizeof device, "%08X-0000-0000-0000-%012d", user, i);
        if (mqtt)
            b.send(c, mqttConnect(device) + mqttSubscribe("notes/" + std::to_string(user)));
        else
            b.send(c, pushLogin(device, user, digest));
        if (i % 256 == 255)
            b.pump(0, countAcks);
    }
    // Every idle connection answers once: a keep-alive answer or the subscription's acknowledgement.
    if (!mqtt) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        for (int i = 0; i < idle; ++i)
            b.send(i, pushKeepAlive());
    }
    const auto deadline = TClock::now() + std::chrono::seconds(60);
    while (acks < idle && TClock::now() < deadline)
        b.pump(100, countAcks);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long after = rssKb(pid);
    std::printf(
        "%s idle: %d connections answered of %d; server RSS %ld KB -> %ld KB: %.0f bytes per connection\n",
        mqtt ? "mqtt" : "push", acks, idle, before, after,
        double(after - before) * 1024.0 / std::max(1, idle));

    for (std::size_t g = 0; g < groups.size(); ++g) {
        const int devices = groups[g];
        const int user = int(g) + 1;
        std::vector<int> conns;
        for (int d = 0; d < devices; ++d) {
            const int c = b.open(int(g));
            char device[40];
            std::snprintf(device, sizeof device, "FA%06X-0000-0000-0000-%012d", user, d);
            conns.push_back(c);
            if (mqtt)
                b.send(c, mqttConnect(device) + (d ? mqttSubscribe("notes/f" + std::to_string(user)) : ""));
            else
                b.send(c, pushLogin(device, user, digest));
        }
        const int sender = conns[0];
        const std::string senderDevice = "FA" + std::to_string(user) + "-sender";
        const auto notice = [&](const std::string& payload) {
            if (mqtt)
                b.send(sender, mqttPublish("notes/f" + std::to_string(user), payload));
            else
                b.send(sender, pushNotice(senderDevice, user, payload));
        };
        // Warm up until every receiver has heard a notice.
        int warm = 0;
        for (int attempt = 0; attempt < 100 && warm < devices - 1; ++attempt) {
            for (int c : conns)
                b.conn(c).Ready = false;
            notice("warm");
            warm = 0;
            const auto until = TClock::now() + std::chrono::milliseconds(100);
            while (TClock::now() < until)
                b.pump(10, [&](int c, const std::string&, char kind) {
                    if (kind == 'N' && !b.conn(c).Ready) {
                        b.conn(c).Ready = true;
                        ++warm;
                    }
                });
        }
        std::vector<double> latencies;
        int lost = 0;
        for (int r = 0; r < rounds; ++r) {
            const std::int64_t sent = nowNs();
            notice("t" + std::to_string(sent));
            int got = 0;
            const auto until = TClock::now() + std::chrono::seconds(2);
            while (got < devices - 1 && TClock::now() < until)
                b.pump(10, [&](int, const std::string& payload, char kind) {
                    if (kind != 'N' || payload.size() < 2 || payload[0] != 't')
                        return;
                    const std::int64_t t = std::stoll(payload.substr(1));
                    if (t != sent)
                        return;
                    latencies.push_back(double(nowNs() - t) / 1000.0);
                    ++got;
                });
            lost += devices - 1 - got;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::printf(
            "%s fan-out to %d other devices: %zu arrivals, p50 %.0f us, p99 %.0f us, max %.0f us, lost %d\n",
            mqtt ? "mqtt" : "push", devices - 1, latencies.size(), pct(latencies, 50), pct(latencies, 99),
            pct(latencies, 100), lost);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: push_bench setup|push|mqtt [options]\n", stderr);
        return 2;
    }
    const std::string mode = argv[1];
    const auto o = options(argc, argv, 2);
    if (mode == "setup")
        return setup(o);
    if (mode == "push" || mode == "mqtt")
        return run(mode == "mqtt", o);
    std::fputs("usage: push_bench setup|push|mqtt [options]\n", stderr);
    return 2;
}
