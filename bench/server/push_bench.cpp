// Push benchmark: holds many idle signed-in connections against one or more
// push server processes and measures their memory per connection and the
// fan-out latency from one device's note-changed notice to its arrival on the
// user's other devices. The same measurements run against an MQTT broker (the
// reference), where a device is a subscriber of its user's topic.
//
//   push_bench setup --db LOCATION --idle N [--devices-per-user D] [--notes N]
//                                              accounts (and notes of account 1)
//   push_bench push  --port P[,P...] --pid PID[,PID...] [run options]   our push servers
//   push_bench mqtt  --port P --pid PID [run options]                   an MQTT broker
// run options: --idle N (10000) --devices-per-user D (50) --groups 5,100
//   --rounds N (300) --sources N (8) --per-holder N (16000)
//
// Idle devices connect as real ones do: each signs in as soon as it has
// connected, and no more of them wait for their sign-in at a time than the
// server lets one address keep waiting. The push protocol does not confirm a
// sign-in, so a "probe" device of an account of its own signs in after each
// batch with a change held back until then: when the change reaches that
// account's listening device, the server has worked through the sign-ins
// queued before it. Idle connections come from several loopback addresses
// (127.0.0.2 and up) and from child processes of up to --per-holder
// connections each, since one address has about 28 000 ports towards one
// server port and one process may hold only so many descriptors. Like real
// devices they send a keep-alive every 50 s.

#include "server/auth/uAccounts.h"
#include "server/store/uServerStore.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr const char* kPassword = "bench-pass";
// Accounts: 1 and 2 for the fan-out groups, then one probe account per
// holder, then the idle devices' accounts.
constexpr int kFirstProbeUser = 3;
constexpr int kMaxHolders = 32;
constexpr int kFirstIdleUser = kFirstProbeUser + kMaxHolders;
// Sign-ins one holder lets wait at a time, in two batches: well under the
// server's defaults of 64 per address, 1024 in all and 256 queued checks.
constexpr int kBatch = 96;
// Connections waiting for the broker's acknowledgement: its listen queue holds 100.
constexpr int kMqttWaiting = 32;
constexpr auto kKeepAlivePeriod = std::chrono::seconds(50);

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

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "push_bench: %s\n", what.c_str());
    std::exit(1);
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

std::string deviceName(const char* kind, int a, int b) {
    char device[48];
    std::snprintf(device, sizeof device, "%s%06X-0000-0000-0000-%012d", kind, a, b);
    return device;
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
std::string pushLogout(std::int32_t user) {
    std::string b(12, '\0');
    put32(b, 0, user);
    put32(b, 8, 1);
    return pushHeader(30, "") + b;
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
std::string mqttPing() {
    return std::string{char(0xC0), 0};
}

// What arrives, by kind: 'N' a notice (payload: note id or MQTT payload),
// 'K' a keep-alive answer or a subscription's acknowledgement, 'C' anything
// else, 'X' the server closed the connection.
struct TConn {
    int Fd = -1;
    std::string In;
    bool Ready = false;
};

class TBench {
public:
    explicit TBench(bool mqtt) : FMqtt(mqtt), FEp(epoll_create1(0)) {}
    ~TBench() {
        for (const TConn& c : FConns)
            if (c.Fd >= 0)
                ::close(c.Fd);
        ::close(FEp);
    }
    TBench(const TBench&) = delete;
    TBench& operator=(const TBench&) = delete;

    // A connection to 127.0.0.1:port from the loopback address `source`
    // (host order); the port is picked at connect, so that each address has
    // its own ports towards each server.
    int open(int port, std::uint32_t source) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            fail(std::string("socket: ") + std::strerror(errno));
        const int one = 1;
        ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(source);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0)
            fail(std::string("bind: ") + std::strerror(errno));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(std::uint16_t(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            fail(std::string("connect: ") + std::strerror(errno));
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = std::uint32_t(FConns.size());
        epoll_ctl(FEp, EPOLL_CTL_ADD, fd, &ev);
        FConns.push_back(TConn{fd, {}, false});
        return int(FConns.size() - 1);
    }

    // False when the connection is gone.
    bool send(int c, const std::string& bytes) {
        TConn& conn = FConns[std::size_t(c)];
        if (conn.Fd < 0)
            return false;
        if (::send(conn.Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != ssize_t(bytes.size())) {
            drop(conn);
            return false;
        }
        return true;
    }

    void close(int c) { drop(FConns[std::size_t(c)]); }

    // Reads what arrived for up to `ms`; calls onMessage(conn, payload, kind).
    template <class F> void pump(int ms, F&& onMessage) {
        epoll_event events[256];
        const int n = epoll_wait(FEp, events, 256, ms);
        for (int i = 0; i < n; ++i) {
            const int id = int(events[i].data.u32);
            TConn& c = FConns[std::size_t(id)];
            if (c.Fd < 0)
                continue;
            char buf[4096];
            const ssize_t got = ::recv(c.Fd, buf, sizeof buf, 0);
            if (got <= 0) {
                drop(c);
                onMessage(id, std::string(), 'X');
                continue;
            }
            c.In.append(buf, std::size_t(got));
            FMqtt ? parseMqtt(id, onMessage) : parsePush(id, onMessage);
        }
    }

    TConn& conn(int c) { return FConns[std::size_t(c)]; }
    [[nodiscard]] int size() const { return int(FConns.size()); }

private:
    void drop(TConn& c) {
        if (c.Fd >= 0)
            ::close(c.Fd);
        c.Fd = -1;
        c.In.clear();
    }
    template <class F> void parsePush(int id, F& onMessage) {
        TConn& c = FConns[std::size_t(id)];
        while (c.In.size() >= 132) {
            const std::int32_t cmd = get32(c.In, 8);
            const std::size_t size = 132 + (cmd == 10 ? 58 : cmd == 20 ? 8 : 0);
            if (c.In.size() < size)
                return;
            const std::string payload = cmd == 10 ? c.In.substr(140, std::size_t(get32(c.In, 136))) : "";
            c.In.erase(0, size);
            onMessage(id, payload, cmd == 10 ? 'N' : cmd == 20 ? 'K' : 'C');
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
            std::string payload;
            if (type == 0x30) {
                const std::size_t tl = (std::size_t(static_cast<unsigned char>(c.In[at])) << 8) |
                                       static_cast<unsigned char>(c.In[at + 1]);
                payload = c.In.substr(at + 2 + tl, len - 2 - tl);
            }
            c.In.erase(0, at + len);
            onMessage(id, payload, type == 0x30 ? 'N' : type == 0x90 ? 'K' : 'C');
        }
    }

    bool FMqtt;
    int FEp;
    std::vector<TConn> FConns;
};

std::map<std::string, std::string> options(int argc, char** argv, int from) {
    std::map<std::string, std::string> o;
    for (int i = from; i + 1 < argc; i += 2)
        o[argv[i]] = argv[i + 1];
    return o;
}

std::vector<int> numbers(const std::string& list) {
    std::vector<int> out;
    std::stringstream ss(list);
    for (std::string item; std::getline(ss, item, ',');)
        out.push_back(std::stoi(item));
    return out;
}

double pct(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p / 100.0 * double(v.size())))];
}

int idleUsers(int idle, int devicesPerUser) {
    return (idle + devicesPerUser - 1) / devicesPerUser;
}

int setup(const std::map<std::string, std::string>& o) {
    const auto get = [&](const char* k, const char* d) { return o.count(k) ? o.at(k) : std::string(d); };
    auto store = zsrv::OpenStore(o.at("--db"));
    const int users =
        kFirstIdleUser - 1 +
        idleUsers(std::stoi(get("--idle", "10000")), std::stoi(get("--devices-per-user", "50")));
    // Few rounds of the slow hash: the benchmark measures the push path, and
    // the sign-in check of each account runs once per server process anyway.
    const std::string verifier = zsrv::VerifierForPassword(kPassword, 1000);
    for (int i = 1; i <= users; ++i)
        if (store->CreateAccount({"bench" + std::to_string(i) + "@example.com", "B", verifier, ""}) !=
            std::int64_t(i))
            fail("the accounts must be numbered from 1: set up into an empty database");
    // Notes for account 1, for the web service's benchmark.
    const int notes = std::stoi(get("--notes", "0"));
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

struct TRun {
    bool Mqtt = false;
    std::vector<int> Ports;
    std::vector<int> Pids;
    int Idle = 10000;
    int DevicesPerUser = 50;
    std::vector<int> Groups;
    int Rounds = 300;
    int Sources = 8;
    int PerHolder = 16000;
    int Batch = kBatch; // the holders of one server share its room for waiting sign-ins
    std::string Digest;
};

std::uint32_t loopback(int n) {
    return (127u << 24) | std::uint32_t(n);
}

// One holder: `count` idle devices from `first` on, all to one server, from
// its own loopback addresses. Writes "held ANSWERED CLOSED" to `report` once
// every device has signed in and answered a keep-alive, then keeps them alive
// until `control` closes, and writes "closed N" (those the server closed).
int hold(const TRun& r, int index, int first, int count, int report, int control) {
    TBench b(r.Mqtt);
    const int port = r.Ports[std::size_t(index) % r.Ports.size()];
    const auto source = [&](int k) { return loopback(2 + index * r.Sources + k % r.Sources); };
    std::vector<int> idle;
    idle.reserve(std::size_t(count));
    int closed = 0;
    int acks = 0;
    const int probeUser = kFirstProbeUser + index;

    // The probe account's two listeners: when either hears the other's held
    // change, both have signed in.
    std::vector<char> role; // by connection: 'L'istener, 'P'robe, 'I'dle
    const auto open = [&](std::uint32_t from, char what) {
        const int c = b.open(port, from);
        role.push_back(what);
        return c;
    };
    std::set<std::string> heard; // note ids the listeners heard
    const auto onMessage = [&](int c, const std::string& payload, char kind) {
        const char what = role[std::size_t(c)];
        if (kind == 'X') {
            if (what != 'I')
                fail("the server closed a probe's connection");
            ++closed;
            return;
        }
        if (kind == 'N' && what == 'L')
            heard.insert(payload);
        if (kind == 'K' && what == 'I')
            ++acks;
    };
    if (!r.Mqtt) {
        for (int l = 0; l < 2; ++l) {
            const int c = open(loopback(1), 'L');
            const std::string device = deviceName("LI", index, l);
            b.send(c, pushLogin(device, probeUser, r.Digest) + pushNotice(device, probeUser, "listening"));
        }
        const auto until = TClock::now() + std::chrono::seconds(60);
        while (heard.empty() && TClock::now() < until)
            b.pump(50, onMessage);
        if (heard.empty())
            fail("the probe account's devices did not hear each other: does the server sign devices in?");
    }

    // Probes in flight, oldest first: (probe connection, its note id).
    std::deque<std::pair<int, std::string>> probes;
    int probeSeq = 0;
    const auto waitForProbe = [&] {
        const auto [c, note] = probes.front();
        probes.pop_front();
        const auto until = TClock::now() + std::chrono::seconds(120);
        while (!heard.count(note) && TClock::now() < until)
            b.pump(50, onMessage);
        if (!heard.count(note))
            fail("a probe's change never arrived: the server is not working through the sign-ins");
        b.send(c, pushLogout(probeUser));
        b.close(c);
    };
    for (int i = 0; i < count;) {
        const int batchEnd = std::min(count, i + (r.Mqtt ? kMqttWaiting : r.Batch));
        for (; i < batchEnd; ++i) {
            const int g = first + i;
            const int c = open(source(i), 'I');
            idle.push_back(c);
            const int user = kFirstIdleUser + g / r.DevicesPerUser;
            const std::string device = deviceName("ID", user, g);
            if (r.Mqtt)
                b.send(c, mqttConnect(device) + mqttSubscribe("notes/" + std::to_string(user)));
            else
                b.send(c, pushLogin(device, user, r.Digest));
        }
        if (r.Mqtt) {
            // The broker acknowledges each subscription.
            const auto until = TClock::now() + std::chrono::seconds(120);
            while (int(idle.size()) - acks - closed > kMqttWaiting && TClock::now() < until)
                b.pump(50, onMessage);
            continue;
        }
        const int probe = open(loopback(1), 'P');
        const std::string note = "probe" + std::to_string(++probeSeq);
        const std::string device = deviceName("PR", index, probeSeq);
        b.send(probe, pushLogin(device, probeUser, r.Digest) + pushNotice(device, probeUser, note));
        probes.emplace_back(probe, note);
        if (probes.size() >= 2)
            waitForProbe();
        b.pump(0, onMessage);
    }
    while (!probes.empty())
        waitForProbe();

    // Every idle connection answers once: a keep-alive answer, or the
    // subscription's acknowledgement.
    if (!r.Mqtt) {
        acks = 0;
        for (int c : idle)
            b.send(c, pushKeepAlive());
    }
    const auto deadline = TClock::now() + std::chrono::seconds(120);
    while (acks + closed < count && TClock::now() < deadline)
        b.pump(100, onMessage);
    for (int c : idle)
        b.conn(c).Ready = b.conn(c).Fd < 0; // from now on, a close counts as lost
    const std::string line = "held " + std::to_string(acks) + " " + std::to_string(closed) + "\n";
    if (::write(report, line.data(), line.size()) < 0)
        return 1;

    // Keep-alives as the devices send them, spread over the period.
    const std::string keepAlive = r.Mqtt ? mqttPing() : pushKeepAlive();
    const auto start = TClock::now();
    std::size_t next = 0;
    std::uint64_t sent = 0;
    int lost = 0;
    const auto onLater = [&](int c, const std::string&, char kind) {
        if (kind == 'X' && role[std::size_t(c)] == 'I' && !b.conn(c).Ready) {
            b.conn(c).Ready = true;
            ++lost;
        }
    };
    for (;;) {
        pollfd p{control, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0)
            break;
        b.pump(20, onLater);
        const auto due =
            std::uint64_t(
                std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count()) *
            idle.size() / std::chrono::duration_cast<std::chrono::milliseconds>(kKeepAlivePeriod).count();
        for (; sent < due && !idle.empty(); ++sent, next = (next + 1) % idle.size())
            b.send(idle[next], keepAlive);
    }
    const std::string last = "closed " + std::to_string(lost) + "\n";
    return ::write(report, last.data(), last.size()) < 0;
}

std::string readLine(int fd, int seconds) {
    std::string line;
    const auto until = TClock::now() + std::chrono::seconds(seconds);
    while (TClock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        char ch = 0;
        if (::read(fd, &ch, 1) != 1)
            break;
        if (ch == '\n')
            return line;
        line += ch;
    }
    return line;
}

int run(bool mqtt, const std::map<std::string, std::string>& o) {
    const auto get = [&](const char* k, const char* d) { return o.count(k) ? o.at(k) : std::string(d); };
    TRun r;
    r.Mqtt = mqtt;
    r.Ports = numbers(get("--port", "50001"));
    r.Pids = numbers(get("--pid", "0"));
    r.Idle = std::stoi(get("--idle", "10000"));
    r.DevicesPerUser = std::stoi(get("--devices-per-user", "50"));
    r.Groups = numbers(get("--groups", "5,100"));
    r.Rounds = std::stoi(get("--rounds", "300"));
    r.Sources = std::stoi(get("--sources", "8"));
    r.PerHolder = std::stoi(get("--per-holder", "16000"));
    r.Digest = Md5HexOf(kPassword);
    // As many holders for each server, each holding the same share.
    const int servers = int(r.Ports.size());
    const int perServer = (r.Idle + servers - 1) / servers;
    const int holders = servers * std::max(1, (perServer + r.PerHolder - 1) / r.PerHolder);
    r.Batch = std::max(8, kBatch * servers / holders);
    // Holders' addresses are 127.0.0.2 and up, the fan-out groups' 127.0.0.243 to .250.
    if (holders > kMaxHolders || 2 + holders * r.Sources > 243)
        fail("too many holders or source addresses: raise --per-holder or lower --sources");
    const char* name = mqtt ? "mqtt" : "push";

    // Descriptors: as many as the hard limit allows, in this process and the holders.
    if (rlimit files{}; getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    const auto rss = [&] {
        long sum = 0;
        for (int pid : r.Pids)
            sum += rssKb(pid);
        return sum;
    };
    const long before = rss();
    const auto started = TClock::now();

    // The holders, each with a pipe to report on and one that tells it to stop.
    struct THolder {
        pid_t Pid;
        int Report;
        int Control;
    };
    std::vector<THolder> children;
    for (int h = 0; h < holders; ++h) {
        const int first = int(std::int64_t(r.Idle) * h / holders);
        const int count = int(std::int64_t(r.Idle) * (h + 1) / holders) - first;
        int report[2], control[2];
        if (::pipe(report) != 0 || ::pipe(control) != 0)
            fail("pipe");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(report[0]);
            ::close(control[1]);
            // The other holders' pipes: each must see its own end when this process stops.
            for (const THolder& other : children) {
                ::close(other.Report);
                ::close(other.Control);
            }
            std::_Exit(hold(r, h, first, count, report[1], control[0]));
        }
        ::close(report[1]);
        ::close(control[0]);
        children.push_back({pid, report[0], control[1]});
    }
    int answered = 0, closedEarly = 0;
    for (const THolder& h : children) {
        const std::string line = readLine(h.Report, 1800);
        int a = 0, c = 0;
        if (std::sscanf(line.c_str(), "held %d %d", &a, &c) != 2)
            fail("a holder did not report");
        answered += a;
        closedEarly += c;
    }
    const double openSeconds = std::chrono::duration<double>(TClock::now() - started).count();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long after = rss();
    std::printf("%s idle: %d connections answered of %d (%d closed by the server) in %.1f s, %zu server "
                "process(es); server RSS %ld KB -> %ld KB: %.0f bytes per connection\n",
                name, answered, r.Idle, closedEarly, openSeconds, r.Pids.size(), before, after,
                double(after - before) * 1024.0 / std::max(1, r.Idle));
    std::fflush(stdout);

    TBench b(mqtt);
    int groupLost = 0;
    for (std::size_t g = 0; g < r.Groups.size(); ++g) {
        const int devices = r.Groups[g];
        const int user = int(g) + 1;
        std::vector<int> conns;
        for (int d = 0; d < devices; ++d) {
            // Device d on server d mod N; the sender (0) on the first.
            const int c = b.open(r.Ports[std::size_t(d) % r.Ports.size()], loopback(250 - d % 8));
            const std::string device = deviceName("FA", user, d);
            conns.push_back(c);
            if (mqtt)
                b.send(c, mqttConnect(device) + (d ? mqttSubscribe("notes/f" + std::to_string(user)) : ""));
            else
                b.send(c, pushLogin(device, user, r.Digest));
        }
        const int sender = conns[0];
        const std::string senderDevice = deviceName("FA", user, 0);
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
        if (warm < devices - 1)
            std::printf("%s fan-out to %d other devices: only %d heard the warm-up notice\n", name,
                        devices - 1, warm);
        std::vector<double> latencies;
        int lost = 0;
        for (int round = 0; round < r.Rounds; ++round) {
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
        groupLost += lost;
        std::printf(
            "%s fan-out to %d other devices: %zu arrivals, p50 %.0f us, p99 %.0f us, max %.0f us, lost %d\n",
            name, devices - 1, latencies.size(), pct(latencies, 50), pct(latencies, 99), pct(latencies, 100),
            lost);
        std::fflush(stdout);
    }

    int closedLater = 0;
    for (const THolder& h : children) {
        ::close(h.Control);
        const std::string line = readLine(h.Report, 60);
        int c = 0;
        if (std::sscanf(line.c_str(), "closed %d", &c) == 1)
            closedLater += c;
        else
            closedLater = -1;
        ::close(h.Report);
        int status = 0;
        ::waitpid(h.Pid, &status, 0);
    }
    std::printf("%s idle connections closed by the server while the fan-out ran: %d\n", name, closedLater);
    return closedEarly == 0 && closedLater == 0 && groupLost == 0 ? 0 : 3;
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
