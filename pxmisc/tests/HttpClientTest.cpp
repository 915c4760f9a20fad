#include "pxmisc/GenericHTTPClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kAgent = "RIDEVI(0.9/;p)";

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Binds a socket to an ephemeral port of 127.0.0.1 and returns the port.
uint16_t BindLoopback(int fd) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (::bind(fd, raw, sizeof address) != 0 || ::getsockname(fd, raw, &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// How the server ends a connection: right after its answer, or, as a stalled server does, only
// when the client gives up or the server's lifetime ends.
enum class Ending { AfterAnswer, Stall };

// Serves one connection per canned answer, in order, on 127.0.0.1, records each raw request and
// stops by itself after its lifetime.
class TestServer {
public:
    explicit TestServer(std::vector<std::string> answers,
                        std::chrono::milliseconds lifetime = std::chrono::seconds(3),
                        Ending ending = Ending::AfterAnswer)
        : m_listener(::socket(AF_INET, SOCK_STREAM, 0)), m_answers(std::move(answers)),
          m_ending(ending) {
        m_port = BindLoopback(m_listener.get());
        if (m_port != 0 && ::listen(m_listener.get(), 4) == 0) {
            m_thread = std::thread([this, lifetime] { Serve(lifetime); });
        }
    }
    explicit TestServer(std::string answer,
                        std::chrono::milliseconds lifetime = std::chrono::seconds(3))
        : TestServer(std::vector<std::string>{std::move(answer)}, lifetime) {}
    ~TestServer() { Stop(); }

    uint16_t Port() const { return m_port; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // Waits for the server to finish and gives what it received.
    const std::vector<std::string>& Requests() {
        Stop();
        return m_requests;
    }

private:
    void Stop() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void Serve(std::chrono::milliseconds lifetime) {
        const auto deadline = Clock::now() + lifetime;
        for (const std::string& answer : m_answers) {
            pollfd waiting{m_listener.get(), POLLIN, 0};
            if (::poll(&waiting, 1, RemainingMs(deadline)) <= 0) {
                return;
            }
            Fd client(::accept(m_listener.get(), nullptr, nullptr));
            if (client.get() < 0) {
                return;
            }
            m_requests.push_back(ReadRequest(client.get(), deadline));
            std::size_t sent = 0;
            while (sent < answer.size()) {
                const ssize_t count =
                    ::send(client.get(), answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (count <= 0) {
                    break; // the client may stop reading once its buffer is full
                }
                sent += static_cast<std::size_t>(count);
            }
            if (m_ending == Ending::Stall) {
                WaitForClientToClose(client.get(), deadline);
            }
        }
    }

    static void WaitForClientToClose(int fd, Clock::time_point deadline) {
        char piece[256];
        pollfd waiting{fd, POLLIN, 0};
        while (::poll(&waiting, 1, RemainingMs(deadline)) > 0 &&
               ::recv(fd, piece, sizeof piece, 0) > 0) {
        }
    }

    static std::string ReadRequest(int fd, Clock::time_point deadline) {
        std::string request;
        char piece[4096];
        for (;;) {
            const std::size_t headerEnd = request.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                std::size_t bodyLength = 0;
                const std::size_t field = request.find("Content-Length: ");
                if (field != std::string::npos && field < headerEnd) {
                    bodyLength = std::stoul(request.substr(field + 16));
                }
                if (request.size() >= headerEnd + 4 + bodyLength) {
                    return request;
                }
            }
            pollfd waiting{fd, POLLIN, 0};
            if (::poll(&waiting, 1, RemainingMs(deadline)) <= 0) {
                return request;
            }
            const ssize_t count = ::recv(fd, piece, sizeof piece, 0);
            if (count <= 0) {
                return request;
            }
            request.append(piece, static_cast<std::size_t>(count));
        }
    }

    Fd m_listener;
    std::vector<std::string> m_answers;
    Ending m_ending;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::vector<std::string> m_requests;
};

std::string BodyOf(const std::string& request) {
    const std::size_t headerEnd = request.find("\r\n\r\n");
    return headerEnd == std::string::npos ? std::string() : request.substr(headerEnd + 4);
}

// Gives the tests the protected building blocks.
class ClientProbe : public GenericHTTPClient {
public:
    using GenericHTTPClient::AllocMultiPartsFormData;
    using GenericHTTPClient::GetPostArguments;
};

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("pxmisc_http_" + std::to_string(::getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const fs::path path = m_folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path m_folder;
};

TEST_F(HttpClientTest, GetSendsHttp10WithAgentAndAcceptAndKeepsTheResponse) {
    TestServer server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nsetup-1.2.exe");
    GenericHTTPClient client;
    ASSERT_TRUE(client.Request(server.Url("/update/latest.txt").c_str(),
                               GenericHTTPClient::REQUEST_GET, kAgent));
    EXPECT_STREQ(client.QueryHTTPResponse(), "setup-1.2.exe");
    EXPECT_STREQ(client.QueryHTTPResponseHeader(),
                 "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n");

    const auto& requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /update/latest.txt HTTP/1.0\r\n", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("\r\nUser-Agent: RIDEVI(0.9/;p)\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("\r\nAccept: */*\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, SuccessDependsOnTheBodyNotTheStatus) {
    struct Case {
        const char* what;
        const char* answer;
        bool succeeds;
        const char* body;
    };
    const Case cases[] = {
        {"empty body", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", false, ""},
        {"error page", "HTTP/1.0 404 Not Found\r\n\r\nno such file", true, "no such file"},
        {"one byte", "HTTP/1.0 200 OK\r\n\r\n1", true, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestServer server(c.answer);
        GenericHTTPClient client;
        EXPECT_EQ(client.Request(server.Url("/").c_str(), GenericHTTPClient::REQUEST_GET, kAgent),
                  c.succeeds);
        EXPECT_STREQ(client.QueryHTTPResponse(), c.body);
        EXPECT_EQ(server.Requests().size(), 1u);
    }
}

TEST_F(HttpClientTest, UrlEncodedPostSendsArgumentsAsGiven) {
    TestServer server("HTTP/1.0 200 OK\r\n\r\nok");
    GenericHTTPClient client;
    ASSERT_TRUE(client.AddPostArguments("a", 5u));
    ASSERT_TRUE(client.AddPostArguments("b", "two words"));
    ASSERT_TRUE(
        client.Request(server.Url("/form").c_str(), GenericHTTPClient::REQUEST_POST, kAgent));

    const auto& requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("POST /form HTTP/1.0\r\n", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    EXPECT_EQ(BodyOf(requests[0]), "a=5&b=two words");
}

TEST_F(HttpClientTest, MultipartPostCarriesTextAndFilesIntact) {
    const std::string text = "plain words\n";
    const std::string binary("\0\x01\xff\0\r\n--\0end", 12);
    const std::string textPath = WriteFile("notes.txt", text);
    const std::string binaryPath = WriteFile("tone.zzqq", binary);

    TestServer server("HTTP/1.0 200 OK\r\n\r\nstored");
    GenericHTTPClient client;
    ASSERT_TRUE(client.AddPostArguments("title", "My tone"));
    ASSERT_TRUE(client.AddPostArguments("notes", textPath.c_str(), true));
    ASSERT_TRUE(client.AddPostArguments("tone", binaryPath.c_str(), true));
    ASSERT_TRUE(client.Request(server.Url("/upload").c_str(),
                               GenericHTTPClient::REQUEST_POST_MULTIPART, kAgent));
    EXPECT_STREQ(client.QueryHTTPResponse(), "stored");

    const std::string mark = "----MULTI-PARTS-FORM-DATA-BOUNDARY";
    const std::string expected =
        mark + "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nMy tone\r\n" + mark +
        "\r\nContent-Disposition: form-data; name=\"notes\"; filename=\"" + textPath +
        "\"\r\nContent-Type: text/plain\r\n\r\n" + text + "\r\n" + mark +
        "\r\nContent-Disposition: form-data; name=\"tone\"; filename=\"" + binaryPath +
        "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + binary + "\r\n" + mark + "--\r\n";

    const auto& requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("POST /upload HTTP/1.0\r\n", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("\r\nContent-Type: multipart/form-data; "
                               "boundary=--MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"),
              std::string::npos);
    EXPECT_NE(requests[0].find("\r\nContent-Length: " + std::to_string(expected.size()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(BodyOf(requests[0]), expected);
}

TEST_F(HttpClientTest, StepByStepExchangeFitsTheCallersBuffers) {
    GenericHTTPClient client;
    uint32_t received = 99;
    char header[16];
    char body[8];
    EXPECT_FALSE(client.Response(header, sizeof header, body, sizeof body, received));
    EXPECT_EQ(client.GetLastError(), static_cast<uint32_t>(CURLE_BAD_FUNCTION_ARGUMENT));

    TestServer server("HTTP/1.0 200 OK\r\nServer: test\r\n\r\nabcdefghijk");
    ASSERT_TRUE(client.Connect("127.0.0.1", kAgent, server.Port(), nullptr, nullptr));
    ASSERT_TRUE(client.RequestOfURI("/step", /*method=*/0));
    ASSERT_TRUE(client.Response(header, sizeof header, body, sizeof body, received));
    EXPECT_EQ(received, 7u);
    EXPECT_STREQ(body, "abcdefg");
    EXPECT_STREQ(header, "HTTP/1.0 200 OK");
    EXPECT_TRUE(client.Close());
    EXPECT_TRUE(client.Close());
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].rfind("GET /step HTTP/1.0\r\n", 0), 0u);
}

TEST_F(HttpClientTest, RedirectKeepsOnlyTheFinalHeaders) {
    TestServer server(
        std::vector<std::string>{"HTTP/1.0 302 Found\r\nLocation: /final\r\n\r\nmoved",
                                 "HTTP/1.0 200 OK\r\nX-Final: yes\r\n\r\nthe installer"});
    GenericHTTPClient client;
    ASSERT_TRUE(
        client.Request(server.Url("/first").c_str(), GenericHTTPClient::REQUEST_GET, kAgent));
    EXPECT_STREQ(client.QueryHTTPResponse(), "the installer");
    EXPECT_STREQ(client.QueryHTTPResponseHeader(), "HTTP/1.0 200 OK\r\nX-Final: yes\r\n\r\n");
    const auto& requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].rfind("GET /final HTTP/1.0\r\n", 0), 0u) << requests[1];
}

TEST_F(HttpClientTest, RefusedConnectionFailsWithItsErrorCode) {
    // A bound socket that never listens keeps the port ours and refusing.
    Fd holder(::socket(AF_INET, SOCK_STREAM, 0));
    const uint16_t port = BindLoopback(holder.get());
    ASSERT_NE(port, 0);
    GenericHTTPClient client;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    EXPECT_FALSE(client.Request(url.c_str(), GenericHTTPClient::REQUEST_GET, kAgent));
    EXPECT_EQ(client.GetLastError(), static_cast<uint32_t>(CURLE_COULDNT_CONNECT));
}

TEST_F(HttpClientTest, StalledServerIsGivenUpAtTheBoundsSet) {
    struct Case {
        const char* what;
        const char* answer;
        uint32_t totalMs;
        uint32_t lowSpeedSeconds;
    };
    // Unbounded, each request would end only when the server does, after its lifetime, with
    // CURLE_GOT_NOTHING or CURLE_PARTIAL_FILE.
    const Case cases[] = {
        // Accepts and reads the request, never answers: the total bound ends the wait.
        {"no answer", "", 500, 0},
        // Headers and a piece of the body, then silence: the speed bound gives up.
        {"stops mid-body", "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\npartial", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestServer server(std::vector<std::string>{c.answer}, std::chrono::seconds(5),
                          Ending::Stall);
        GenericHTTPClient client;
        client.SetTimeouts(c.totalMs, /*lowSpeedBytesPerSecond=*/100, c.lowSpeedSeconds);
        EXPECT_FALSE(
            client.Request(server.Url("/").c_str(), GenericHTTPClient::REQUEST_GET, kAgent));
        EXPECT_EQ(client.GetLastError(), static_cast<uint32_t>(CURLE_OPERATION_TIMEDOUT));
        EXPECT_STREQ(client.QueryHTTPResponse(), "");
        EXPECT_EQ(server.Requests().size(), 1u);
    }
}

TEST_F(HttpClientTest, OversizedBodyAndHeadersAreCutAndTerminated) {
    const std::string body(150000, 'b');
    std::string headers;
    for (int i = 0; headers.size() < 150000; ++i) {
        headers += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'h') + "\r\n";
    }
    struct Case {
        const char* what;
        std::string answer;
        std::size_t bodyLength;
        std::size_t headerLength;
    };
    const Case cases[] = {
        {"long body", "HTTP/1.0 200 OK\r\n\r\n" + body, GenericHTTPClient::BUFFER_SIZE - 1, 19},
        {"long headers", "HTTP/1.0 200 OK\r\n" + headers + "\r\nshort", 5,
         GenericHTTPClient::BUFFER_SIZE - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestServer server(c.answer);
        GenericHTTPClient client;
        ASSERT_TRUE(
            client.Request(server.Url("/").c_str(), GenericHTTPClient::REQUEST_GET, kAgent));
        EXPECT_EQ(std::strlen(client.QueryHTTPResponse()), c.bodyLength);
        EXPECT_EQ(std::strlen(client.QueryHTTPResponseHeader()), c.headerLength);
        EXPECT_EQ(std::string(client.QueryHTTPResponse(), 5),
                  c.answer.substr(c.answer.find("\r\n\r\n") + 4, 5));
        server.Requests();
    }
}

TEST_F(HttpClientTest, ArgumentsBeyondTheirLimitsAreRefused) {
    ClientProbe client;
    EXPECT_FALSE(client.AddPostArguments(std::string(256, 'n').c_str(), "v"));
    EXPECT_FALSE(client.AddPostArguments("n", std::string(1024, 'v').c_str()));
    EXPECT_FALSE(client.AddPostArguments("n", std::string(1024, 'v').c_str(), true));
    char text[1024];
    EXPECT_EQ(client.GetPostArguments(text, sizeof text), 0u);
    EXPECT_STREQ(text, "");

    ASSERT_TRUE(
        client.AddPostArguments(std::string(255, 'n').c_str(), std::string(1023, 'v').c_str()));
    // The whole text needs 1279 characters: the buffer gets what fits, NUL-terminated.
    std::vector<char> small(100, 'x');
    EXPECT_EQ(client.GetPostArguments(small.data(), 100), 255u + 1 + 1023);
    EXPECT_EQ(std::string(small.data()), std::string(99, 'n'));

    // Too long for a URL-encoded post: refused before anything goes out.
    TestServer server("HTTP/1.0 200 OK\r\n\r\nok");
    EXPECT_FALSE(client.Request(server.Url("/").c_str(), GenericHTTPClient::REQUEST_POST, kAgent));
    EXPECT_EQ(client.GetLastError(), static_cast<uint32_t>(CURLE_BAD_FUNCTION_ARGUMENT));
    client.InitilizePostArguments();
    ASSERT_TRUE(client.AddPostArguments("k", "v"));
    ASSERT_TRUE(client.Request(server.Url("/").c_str(), GenericHTTPClient::REQUEST_POST, kAgent));
    const auto& requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(BodyOf(requests[0]), "k=v");
}

TEST_F(HttpClientTest, UnreadableFileArgumentFailsTheRequest) {
    // Each would be read into memory without end, block in open() or exceed the cap.
    ASSERT_EQ(::mkfifo((m_folder / "fifo").c_str(), 0600), 0);
    fs::resize_file(WriteFile("huge.bin", ""), GenericHTTPClient::MAX_UPLOAD_FILE_BYTES + 1);
    for (const std::string path : {"/dev/zero", "fifo", "huge.bin", "."}) {
        ClientProbe refused;
        ASSERT_TRUE(refused.AddPostArguments("f", (m_folder / path).c_str(), true));
        std::string body;
        EXPECT_EQ(refused.AllocMultiPartsFormData(body, "B"), 0u) << path;
    }
    ClientProbe client;
    ASSERT_TRUE(client.AddPostArguments("tone", (m_folder / "missing.mp3").c_str(), true));
    std::string body = "old";
    EXPECT_EQ(client.AllocMultiPartsFormData(body, "B"), 0u);

    // Nothing should arrive, so the server need not wait long.
    TestServer server("HTTP/1.0 200 OK\r\n\r\nok", std::chrono::milliseconds(300));
    EXPECT_FALSE(
        client.Request(server.Url("/").c_str(), GenericHTTPClient::REQUEST_POST_MULTIPART, kAgent));
    EXPECT_EQ(client.GetLastError(), static_cast<uint32_t>(CURLE_READ_ERROR));
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpClientParseTest, SplitsUrls) {
    struct Case {
        const char* url;
        const char* protocol;
        const char* address;
        uint32_t port;
        const char* path;
    };
    const Case cases[] = {
        {"www.example.com/dir/file.txt", "http", "www.example.com", 80, "/dir/file.txt"},
        {"http://www.example.com:8080/x", "http", "www.example.com", 8080, "/x"},
        {"https://secure.example.com/a", "https", "secure.example.com", 443, "/a"},
        {"HTTPS://secure.example.com/a", "HTTPS", "secure.example.com", 80, "/a"},
        {"http://www.example.com", "http", "www.example.com", 80, ""},
        {"www.example.com:81", "http", "www.example.com", 81, ""},
        {"http://host:99999/", "http", "host", 0, "/"},
        {"http://host:8o/", "http", "host", 0, "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        std::string protocol;
        std::string address;
        std::string path;
        uint32_t port = 1;
        GenericHTTPClient::ParseURL(c.url, protocol, address, port, path);
        EXPECT_EQ(protocol, c.protocol);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(port, c.port);
        EXPECT_EQ(path, c.path);
    }
}

TEST(HttpClientParseTest, UnusablePortFailsWithoutConnecting) {
    GenericHTTPClient client;
    EXPECT_FALSE(client.Request("http://127.0.0.1:0/", GenericHTTPClient::REQUEST_GET, kAgent));
    EXPECT_EQ(client.GetLastError(), static_cast<uint32_t>(CURLE_URL_MALFORMAT));
}

TEST(HttpClientEnumTest, NonPositiveValuesBecomeTheFirstKind) {
    const std::pair<int, int> cases[] = {{-7, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 3}, {9, 9}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(GenericHTTPClient::GetMethod(in), out) << in;
        EXPECT_EQ(GenericHTTPClient::GetPostArgumentType(in), out) << in;
    }
}

TEST(HttpClientContentTypeTest, ComesFromTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/music/song.mp3", "audio/mpeg"},
        {"notes.TXT", "text/plain"},
        {"/tmp/archive.zzqq", "application/octet-stream"},
        {"/tmp/Makefile", "application/octet-stream"},
        {"/tmp/dir.d/README", "application/octet-stream"},
    };
    for (const auto& [path, type] : cases) {
        EXPECT_STREQ(GenericHTTPClient::GetContentType(path), type) << path;
    }
}

} // namespace
