// The push packet layout and the stream reader that the server (and later the
// client's push channel) cut the byte stream with.

#include "shared/uPushPacket.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

using namespace push;

std::int32_t at32(const std::string& s, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= std::uint32_t(static_cast<unsigned char>(s[at + std::size_t(i)])) << (8 * i);
    return static_cast<std::int32_t>(u);
}

std::span<const std::uint8_t> bytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(PushPacket, LayoutOfEveryCommand) {
    const std::string device = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
    const std::string login =
        EncodeLogin(device, {77, "ann@example.com", "0123456789abcdef0123456789abcdef"});
    ASSERT_EQ(login.size(), 132u + 212u);
    EXPECT_EQ(at32(login, 0), 502613);
    EXPECT_EQ(at32(login, 4), 1);
    EXPECT_EQ(at32(login, 8), 1);
    EXPECT_EQ(at32(login, 12), 0);
    EXPECT_EQ(at32(login, 24), 100);
    EXPECT_EQ(at32(login, 28), 36);
    EXPECT_EQ(login.substr(32, 36), device);
    EXPECT_EQ(login.substr(68, 64), std::string(64, '\0'));
    EXPECT_EQ(at32(login, 132), 77);
    EXPECT_EQ(at32(login, 136), 15);
    EXPECT_EQ(at32(login, 140), 32);
    EXPECT_EQ(login.substr(144, 15), "ann@example.com");
    EXPECT_EQ(login.substr(244, 32), "0123456789abcdef0123456789abcdef");

    const struct {
        std::string Packet;
        std::int32_t Command;
        std::size_t Body;
    } sizes[] = {{EncodeNoteChanged(device, {5, "N"}), 10, 58},
                 {EncodeKeepAlive(device, {0, 9999}), 20, 8},
                 {EncodeLogout(device, {5, 0, 1}), 30, 12}};
    for (const auto& s : sizes) {
        EXPECT_EQ(s.Packet.size(), 132u + s.Body);
        EXPECT_EQ(at32(s.Packet, 8), s.Command);
        EXPECT_EQ(BodySize(s.Command), s.Body);
    }
    EXPECT_EQ(at32(sizes[1].Packet, 136), 9999);
    EXPECT_EQ(at32(sizes[2].Packet, 140), 1);
}

TEST(PushPacket, TextsLongerThanTheirFieldAreCutAndSayHowMuchWasKept) {
    const std::string longName(120, 'n');
    const std::string p = EncodeLogin(std::string(130, 'd'), {1, longName, "x"});
    EXPECT_EQ(at32(p, 28), 100);
    EXPECT_EQ(at32(p, 136), 100);
    EXPECT_EQ(p.substr(144, 100), std::string(100, 'n'));
    const auto body = DecodeLogin(bytes(p).subspan(132));
    ASSERT_TRUE(body);
    EXPECT_EQ(body->UserName, std::string(100, 'n'));
    const std::string changed = EncodeNoteChanged("d", {1, std::string(60, 'i')});
    EXPECT_EQ(at32(changed, 136), 50);
    EXPECT_EQ(DecodeNoteChanged(bytes(changed).subspan(132))->NoteId, std::string(50, 'i'));
}

TEST(PushPacket, BodiesWithLengthFieldsOutsideTheirFieldAreRefused) {
    std::string changed = EncodeNoteChanged("d", {1, "abc"});
    for (std::int32_t bad : {-1, 51, 0x7FFFFFFF}) {
        for (int i = 0; i < 4; ++i)
            changed[136 + std::size_t(i)] = char((std::uint32_t(bad) >> (8 * i)) & 0xFF);
        EXPECT_FALSE(DecodeNoteChanged(bytes(changed).subspan(132))) << bad;
    }
    EXPECT_FALSE(DecodeLogin(bytes(std::string(211, '\0'))));
    EXPECT_FALSE(DecodeKeepAlive(bytes(std::string(9, '\0'))));
}

std::vector<std::int32_t> feedAll(TPushStreamReader& r, const std::string& stream, std::size_t chunk,
                                  TPushStreamReader::TStatus& status) {
    std::vector<std::int32_t> commands;
    status = TPushStreamReader::TStatus::Ok;
    for (std::size_t at = 0; at < stream.size() && status == TPushStreamReader::TStatus::Ok; at += chunk) {
        status = r.Feed(bytes(stream.substr(at, chunk)), [&](const TPacketView& p) {
            commands.push_back(p.Header.Command);
            EXPECT_EQ(p.Body.size(), *BodySize(p.Header.Command));
        });
        EXPECT_LE(r.pending(), kMaxPacketSize);
    }
    return commands;
}

TEST(PushStreamReader, PacketsComeOutWhereverTheStreamIsCut) {
    const std::string stream = EncodeLogin("d", {1, "u", "p"}) + EncodeKeepAlive("d", {0, 1}) +
                               EncodeNoteChanged("d", {1, "n"}) + EncodeKeepAlive("d", {0, 2}) +
                               EncodeLogout("d", {1, 0, 1});
    const std::vector<std::int32_t> expected = {1, 20, 10, 20, 30};
    for (std::size_t chunk :
         {std::size_t(1), std::size_t(3), std::size_t(12), std::size_t(131), std::size_t(132),
          std::size_t(133), std::size_t(255), std::size_t(344), stream.size()}) {
        SCOPED_TRACE(chunk);
        TPushStreamReader r;
        TPushStreamReader::TStatus status;
        EXPECT_EQ(feedAll(r, stream, chunk, status), expected);
        EXPECT_EQ(status, TPushStreamReader::TStatus::Ok);
        EXPECT_EQ(r.pending(), 0u);
    }
}

TEST(PushStreamReader, GarbageIsRecognisedAsSoonAsItShowsAndStaysBroken) {
    const std::string good = EncodeKeepAlive("d", {0, 1});
    std::string unknownCommand = good;
    unknownCommand[8] = 99;
    std::string longDevice = good;
    longDevice[28] = char(101);
    const struct {
        const char* What;
        std::string Bytes;
        std::size_t GoodBefore;
    } cases[] = {
        {"text", "GET / HTTP/1.1\r\n\r\n", 0},
        {"wrong pass after a good packet", good + "\x01\x02\x03\x04", 1},
        {"unknown command", unknownCommand, 0},
        {"device id length 101", longDevice, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(500)}) {
            TPushStreamReader r;
            TPushStreamReader::TStatus status;
            const auto commands = feedAll(r, c.Bytes, chunk, status);
            EXPECT_EQ(status, TPushStreamReader::TStatus::Garbage);
            EXPECT_EQ(commands.size(), c.GoodBefore);
            EXPECT_TRUE(r.broken());
            EXPECT_EQ(r.pending(), 0u);
            EXPECT_EQ(r.Feed(bytes(good), [](const TPacketView&) { ADD_FAILURE(); }),
                      TPushStreamReader::TStatus::Garbage);
        }
    }
}

TEST(PushStreamReader, RandomBytesNeverOverrunTheBuffer) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string s = EncodeKeepAlive("d", {0, round});
        const std::size_t extra = rng() % 600;
        for (std::size_t i = 0; i < extra; ++i)
            s += char(rng() & 0xFF);
        // Keep the pass value now and then, so that the reader gets past the first check.
        if (round % 3 == 0)
            s.replace(140, 4, "\x55\xAB\x07\x00", 4);
        TPushStreamReader r;
        TPushStreamReader::TStatus status;
        (void)feedAll(r, s, 1 + rng() % 64, status);
    }
}

} // namespace
