// The request reader on its own, fed streams whole and in pieces: what the
// parser it frames with would take but a proxy in front may read otherwise
// is refused; what it takes comes out the same however the bytes are cut;
// bodies are counted as they arrive and stop at their limit.

#include "server/http/uHttpParser.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxHeader = 2048;
constexpr std::size_t kMaxLine = 512;

struct TRead {
    std::vector<zsrv::THttpHead> Heads; // of the requests read whole
    std::vector<std::string> Bodies;
    int Status = 0;   // of the refusal, 0 when there was none
    std::string Left; // what was not taken
};

// Reads the requests of a stream handed over in pieces of the given size
// (0: all at once).
TRead readAll(const std::string& stream, std::size_t piece, std::size_t maxBody = 1000) {
    TRead out;
    zsrv::TRequestReader reader(kMaxHeader, kMaxLine);
    std::string in;
    std::string body;
    std::size_t at = 0;
    for (;;) {
        const zsrv::TRequestReader::TStep step = reader.Feed(in, body);
        if (step == zsrv::TRequestReader::TStep::NeedMore) {
            if (at == stream.size())
                break;
            const std::size_t n = piece == 0 ? stream.size() - at : std::min(piece, stream.size() - at);
            in.append(stream, at, n);
            at += n;
        } else if (step == zsrv::TRequestReader::TStep::Head) {
            reader.TakeBody(maxBody);
        } else if (step == zsrv::TRequestReader::TStep::Failed) {
            out.Status = reader.Status();
            break;
        } else {
            out.Heads.push_back(reader.Head());
            out.Bodies.push_back(body);
            body.clear();
            reader = zsrv::TRequestReader(kMaxHeader, kMaxLine);
        }
    }
    out.Left = in + stream.substr(at);
    return out;
}

const std::string kChunkedHead = "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string kLengthHead = "POST /echo HTTP/1.1\r\nHost: x\r\n";

TEST(HttpReader, RefusesWhatTheParserAloneWouldTakeOrWaitFor) {
    const struct {
        const char* What;
        std::string Request;
        int Status;
    } cases[] = {
        {"a space before a chunk extension", kChunkedHead + "5 ;a=b\r\nhello\r\n0\r\n\r\n", 400},
        {"NUL in a quoted chunk extension",
         kChunkedHead + std::string("5;a=\"\0\"\r\nhello\r\n0\r\n\r\n", 21), 400},
        {"a trailer line ending in LF", kChunkedHead + "5\r\nhello\r\n0\r\nX: y\n\r\n", 400},
        {"the last line a bare LF", kChunkedHead + "5\r\nhello\r\n0\r\n\n", 400},
        {"chunk data not followed by CRLF", kChunkedHead + "5\r\nhelloX", 400},
        {"a chunk line past its limit", kChunkedHead + "5;" + std::string(1100, 'a'), 400},
        {"a trailer past the head's limit", kChunkedHead + "0\r\nX: " + std::string(2100, 'a'), 400},
        {"a chunk size past 64 bits", kChunkedHead + "10000000000000000\r\n", 413},
        {"a length in the trailer", kChunkedHead + "5\r\nhello\r\n0\r\nContent-Length: 5\r\n\r\n", 400},
        {"HTTP/1.0 with chunks",
         "POST /echo HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 400},
        {"a folded header line", kLengthHead + "X: a\r\n b\r\nContent-Length: 5\r\n\r\nhello", 400},
        {"chunks, then another coding", kLengthHead + "Transfer-Encoding: chunked, gzip\r\n\r\n0\r\n\r\n",
         501},
        {"another coding, then a length",
         kLengthHead + "Transfer-Encoding: gzip\r\nContent-Length: 5\r\n\r\n", 501},
        {"a list of lengths", kLengthHead + "Content-Length: 5, 5\r\n\r\nhello", 400},
        {"a length past 64 bits", kLengthHead + "Content-Length: 99999999999999999999999\r\n\r\n", 413},
        {"no Host", "GET / HTTP/1.1\r\n\r\n", 400},
        {"two Hosts", "GET / HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", 400},
        {"a version this server does not speak", "GET / HTTP/1.2\r\nHost: x\r\n\r\n", 505},
        {"a target that is neither a path nor absolute", "GET * HTTP/1.1\r\nHost: x\r\n\r\n", 400},
        {"a request line past its limit", "GET /" + std::string(600, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n",
         414},
        {"a head past its limit", "GET / HTTP/1.1\r\nHost: x\r\nX: " + std::string(2100, 'a') + "\r\n\r\n",
         431},
        {"101 header lines",
         "GET / HTTP/1.1\r\n" +
             [] {
                 std::string lines;
                 for (int i = 0; i < 101; ++i)
                     lines += "Host: x\r\n";
                 return lines;
             }() +
             "\r\n",
         431},
        {"an expectation other than 100-continue", "GET / HTTP/1.1\r\nHost: x\r\nExpect: 200-ok\r\n\r\n",
         417},
        {"a Connection line that is no list of tokens",
         "GET / HTTP/1.1\r\nHost: x\r\nConnection: a b\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        for (const std::size_t piece : {0, 1, 7}) {
            const TRead read = readAll(c.Request, piece);
            EXPECT_EQ(read.Status, c.Status) << "in pieces of " << piece;
            EXPECT_TRUE(read.Heads.empty());
        }
    }
}

TEST(HttpReader, ReadsWellFramedRequestsTheSameHoweverTheyAreCut) {
    const std::string stream =
        "\r\n\r\nGET /a%20b?q=1 HTTP/1.1\r\nHost: x\r\n\r\n" + kLengthHead +
        "Content-Length: 5\r\nContent-Length: 5\r\n\r\nhello" + kChunkedHead +
        "5;a=b;c=\"d e\"\r\nhel\nl\r\nA\r\n0123456789\r\n000\r\nX: y\r\n\r\n" +
        "GET http://example.com/p HTTP/1.0\r\nConnection: keep-alive\r\n\r\n" +
        "GET /last HTTP/1.1\r\nHost: x\r\nConnection: close\r\nExpect: 100-continue\r\n\r\n";
    const TRead whole = readAll(stream, 0);
    EXPECT_EQ(whole.Status, 0);
    EXPECT_EQ(whole.Left, "");
    ASSERT_EQ(whole.Heads.size(), 5u);
    EXPECT_EQ(whole.Heads[0].Target, "/a%20b?q=1");
    EXPECT_EQ(whole.Heads[0].Path, "/a b");
    EXPECT_TRUE(whole.Heads[0].KeepAlive);
    EXPECT_EQ(whole.Bodies[1], "hello");
    EXPECT_TRUE(whole.Heads[2].Chunked);
    EXPECT_EQ(whole.Bodies[2], "hel\nl0123456789");
    EXPECT_EQ(whole.Heads[3].Target, "/p");
    EXPECT_TRUE(whole.Heads[3].KeepAlive);
    EXPECT_FALSE(whole.Heads[4].KeepAlive);
    EXPECT_TRUE(whole.Heads[4].ExpectContinue);
    for (const std::size_t piece : {1, 2, 3, 5, 64}) {
        SCOPED_TRACE(piece);
        const TRead cut = readAll(stream, piece);
        EXPECT_EQ(cut.Status, 0);
        EXPECT_EQ(cut.Bodies, whole.Bodies);
        ASSERT_EQ(cut.Heads.size(), whole.Heads.size());
        for (std::size_t i = 0; i < cut.Heads.size(); ++i) {
            EXPECT_EQ(cut.Heads[i].Method, whole.Heads[i].Method);
            EXPECT_EQ(cut.Heads[i].Target, whole.Heads[i].Target);
            EXPECT_EQ(cut.Heads[i].Headers, whole.Heads[i].Headers);
            EXPECT_EQ(cut.Heads[i].KeepAlive, whole.Heads[i].KeepAlive);
        }
    }
}

TEST(HttpReader, BodiesAreTakenAsTheyArriveAndStopAtTheirLimit) {
    // What has come of a body is in the caller's string before the body is whole.
    for (const std::string& head : {kLengthHead + "Content-Length: 10\r\n\r\n", kChunkedHead + "a\r\n"}) {
        SCOPED_TRACE(head);
        zsrv::TRequestReader reader(kMaxHeader, kMaxLine);
        std::string in = head + "01234";
        std::string body;
        ASSERT_EQ(reader.Feed(in, body), zsrv::TRequestReader::TStep::Head);
        reader.TakeBody(10);
        EXPECT_EQ(reader.Feed(in, body), zsrv::TRequestReader::TStep::NeedMore);
        EXPECT_EQ(body, "01234");
        EXPECT_EQ(in, "");
    }
    const struct {
        const char* What;
        std::string Request;
        int Status; // 0: taken
    } cases[] = {
        {"a length at the limit", kLengthHead + "Content-Length: 10\r\n\r\n0123456789", 0},
        {"a length past the limit", kLengthHead + "Content-Length: 11\r\n\r\n", 413},
        {"chunks up to the limit", kChunkedHead + "5\r\n01234\r\n5\r\n56789\r\n0\r\n\r\n", 0},
        {"chunks past the limit", kChunkedHead + "5\r\n01234\r\n6\r\n", 413},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const TRead read = readAll(c.Request, 0, 10);
        EXPECT_EQ(read.Status, c.Status);
        EXPECT_EQ(read.Heads.size(), c.Status == 0 ? 1u : 0u);
    }
}

} // namespace
