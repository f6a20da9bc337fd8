#include "net/unitBlockSocket.h"

#include <gtest/gtest.h>

#include "testFixtures.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace wardlark;

namespace
{

// One accepted connection of TScriptedServer, with the calls a script needs.
class TLink
{
public:
    TLink(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}

    void Send(const std::string& bytes) const
    {
        [[maybe_unused]] const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Pauses so that the next Send leaves as a packet of its own; false when the server stops.
    bool Pause(int milliseconds) const
    {
        pollfd stop{stopFd_, POLLIN, 0};
        return poll(&stop, 1, milliseconds) == 0;
    }
    void WaitForStop() const { Pause(-1); }
    // Bytes up to and including the first LF; "" when the peer closed first.
    std::string ReadLine() const
    {
        std::string line;
        char c = 0;
        while (recv(fd_, &c, 1, 0) == 1)
        {
            line += c;
            if (c == '\n')
            {
                break;
            }
        }
        return line;
    }
    int Fd() const { return fd_; }

private:
    int fd_;
    int stopFd_;
};

// A loopback listener that runs `script` on every connection it accepts, one at a time, until
// it is destroyed.
class TScriptedServer
{
public:
    TScriptedServer(const char* ip, std::function<void(const TLink&)> script)
        : stopFd_(eventfd(0, EFD_CLOEXEC)), script_(std::move(script))
    {
        sockaddr_storage address{};
        socklen_t length = 0;
        if (std::strchr(ip, ':') != nullptr)
        {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            inet_pton(AF_INET6, ip, &v6->sin6_addr);
            length = sizeof(sockaddr_in6);
        }
        else
        {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            inet_pton(AF_INET, ip, &v4->sin_addr);
            length = sizeof(sockaddr_in);
        }
        listenFd_ = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listenFd_, 8) != 0 || getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        {
            return;
        }
        port_ = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                    : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        thread_ = std::thread([this] { Run(); });
    }

    ~TScriptedServer()
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof(one));
        if (thread_.joinable())
        {
            thread_.join();
        }
        if (listenFd_ >= 0)
        {
            close(listenFd_);
        }
        close(stopFd_);
    }

    bool Ok() const { return port_ != 0; }
    std::string Port() const { return std::to_string(port_); }

private:
    void Run()
    {
        while (true)
        {
            pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 || fds[1].revents != 0)
            {
                return;
            }
            const int fd = accept(listenFd_, nullptr, nullptr);
            if (fd < 0)
            {
                continue;
            }
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            script_(TLink(fd, stopFd_));
            close(fd);
        }
    }

    int listenFd_ = -1;
    int stopFd_;
    uint16_t port_ = 0;
    std::function<void(const TLink&)> script_;
    std::thread thread_;
};

// A loopback port with nothing listening on it.
std::string ClosedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return std::to_string(ntohs(address.sin_port));
}

void AbortLater(TTCPBlockSocket& socket, std::thread& thread)
{
    thread = std::thread(
        [&socket]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            socket.Abort();
        });
}

// ---- Connecting

class ConnectFamilyTest : public ::testing::TestWithParam<const char*>
{
};

// The check binds the IPv4 wildcard before every connect; that must not stop IPv6 targets.
TEST_P(ConnectFamilyTest, WildcardBindThenConnectExchangesLines)
{
    TScriptedServer server(GetParam(),
                           [](const TLink& link)
                           {
                               link.Send("hello\r\n");
                               const std::string line = link.ReadLine();
                               link.Send("echo " + line);
                           });
    if (!server.Ok())
    {
        GTEST_SKIP() << "no loopback listener on " << GetParam();
    }
    TTCPBlockSocket socket;
    socket.Purge();
    ASSERT_TRUE(socket.Bind("0.0.0.0", "0")) << socket.LastErrorDesc();
    ASSERT_TRUE(socket.Connect(GetParam(), server.Port())) << socket.LastErrorDesc();
    EXPECT_EQ(socket.LastError(), 0);
    EXPECT_EQ(socket.LastErrorDesc(), "");
    EXPECT_EQ(socket.GetRemoteSinIP(), GetParam());
    EXPECT_EQ(std::to_string(socket.GetRemoteSinPort()), server.Port());
    EXPECT_EQ(socket.GetLocalSinIP(), GetParam());
    EXPECT_NE(socket.GetLocalSinPort(), 0);
    EXPECT_EQ(socket.RecvString(5000), "hello");
    ASSERT_TRUE(socket.SendString("ping\n"));
    EXPECT_EQ(socket.RecvString(5000), "echo ping");
    // The server closes after its answer.
    EXPECT_EQ(socket.RecvString(5000), "");
    EXPECT_EQ(socket.LastError(), kNetErrClosed);
    socket.CloseSocket();
    EXPECT_EQ(socket.Handle(), -1);
}

INSTANTIATE_TEST_SUITE_P(Loopback, ConnectFamilyTest, ::testing::Values("127.0.0.1", "::1"));

TEST(BlockSocketConnectTest, RefusedPortGivesSystemErrorAndText)
{
    TTCPBlockSocket socket;
    ASSERT_TRUE(socket.Bind("0.0.0.0", "0"));
    EXPECT_FALSE(socket.Connect("127.0.0.1", ClosedPort()));
    EXPECT_EQ(socket.LastError(), ECONNREFUSED);
    EXPECT_EQ(socket.LastErrorDesc(), "Connection refused");
    EXPECT_EQ(socket.Handle(), -1);
    // After a failure the socket connects again.
    TScriptedServer server("127.0.0.1", [](const TLink& link) { link.Send("x\n"); });
    ASSERT_TRUE(server.Ok());
    ASSERT_TRUE(socket.Connect("localhost", server.Port())) << socket.LastErrorDesc();
    EXPECT_EQ(socket.RecvString(5000), "x");
}

TEST(BlockSocketConnectTest, BadTargetsGiveTheirOwnCodes)
{
    TTCPBlockSocket socket;
    EXPECT_FALSE(socket.Connect("127.0.0.1", "http"));
    EXPECT_EQ(socket.LastError(), kNetErrInvalidAddress);
    EXPECT_FALSE(socket.Connect("127.0.0.1", "70000"));
    EXPECT_EQ(socket.LastError(), kNetErrInvalidAddress);
    EXPECT_FALSE(socket.Connect("no-such-host.invalid", "80"));
    EXPECT_TRUE(socket.LastError() == kNetErrHostNotFound || socket.LastError() == kNetErrResolveFailed)
        << socket.LastError();
    EXPECT_EQ(socket.LastErrorDesc().rfind(NetErrorText(socket.LastError()), 0), 0u);
    // A binding to one family cannot reach the other.
    ASSERT_TRUE(socket.Bind("127.0.0.1", "0"));
    EXPECT_FALSE(socket.Connect("::1", "80"));
    EXPECT_EQ(socket.LastError(), EAFNOSUPPORT);
    // Operations on a closed socket fail instead of blocking.
    EXPECT_FALSE(socket.SendString("x"));
    EXPECT_EQ(socket.LastError(), ENOTCONN);
}

// A proxy that opens the tunnel only for the right credentials, then plays the target itself.
TEST(BlockSocketConnectTest, HttpTunnelSendsConnectAndPassesTheConnectionOn)
{
    TScriptedServer proxy("127.0.0.1",
                          [](const TLink& link)
                          {
                              const std::string request = link.ReadLine();
                              std::string headers;
                              for (std::string line = link.ReadLine(); line != "\r\n" && !line.empty();
                                   line = link.ReadLine())
                              {
                                  headers += line;
                              }
                              if (request != "CONNECT [2001:db8::1]:443 HTTP/1.0\r\n" ||
                                  headers.find("Proxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n") == std::string::npos)
                              {
                                  link.Send("HTTP/1.0 407 Proxy Authentication Required\r\nX: y\r\n\r\n");
                                  return;
                              }
                              link.Send("HTTP/1.0 200 Connection established\r\n\r\ninside\n");
                          });
    ASSERT_TRUE(proxy.Ok());
    TTCPBlockSocket socket;
    socket.SetHTTPTunnel("127.0.0.1", proxy.Port(), "user", "secret");
    ASSERT_TRUE(socket.Connect("2001:db8::1", "443")) << socket.LastErrorDesc();
    EXPECT_EQ(socket.RecvString(5000), "inside");

    socket.SetHTTPTunnel("127.0.0.1", proxy.Port(), "user", "wrong");
    EXPECT_FALSE(socket.Connect("2001:db8::1", "443"));
    EXPECT_EQ(socket.LastError(), kNetErrProxy);
    EXPECT_EQ(socket.LastErrorDesc(), "Proxy tunnel failed: HTTP/1.0 407 Proxy Authentication Required");
}

// ---- Reading

struct TLineCase
{
    const char* name;
    std::vector<std::string> packets;
    std::vector<std::string> lines;
};

class RecvStringTest : public ::testing::TestWithParam<TLineCase>
{
};

TEST_P(RecvStringTest, JoinsPacketsAndStripsLineEnds)
{
    const TLineCase& testCase = GetParam();
    TScriptedServer server("127.0.0.1",
                           [&testCase](const TLink& link)
                           {
                               for (const std::string& packet : testCase.packets)
                               {
                                   link.Send(packet);
                                   link.Pause(30);
                               }
                               link.WaitForStop();
                           });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    for (const std::string& expected : testCase.lines)
    {
        EXPECT_EQ(socket.RecvString(5000), expected);
        EXPECT_EQ(socket.LastError(), 0) << socket.LastErrorDesc();
    }
    // Nothing is left over: an LF that belonged to a CR LF split across packets is not a line.
    EXPECT_EQ(socket.RecvString(100), "");
    EXPECT_EQ(socket.LastError(), kNetErrTimeout);
}

INSTANTIATE_TEST_SUITE_P(Cases, RecvStringTest,
                         ::testing::Values(TLineCase{"CrLfSplit", {"ab", "c\r", "\nde", "f\r\n"}, {"abc", "def"}},
                                           TLineCase{"ManyInOne", {"a\nb\r\n\nc\n"}, {"a", "b", "", "c"}},
                                           TLineCase{"BareCr", {"x\ry\r", "z\n"}, {"x", "y", "z"}},
                                           TLineCase{"CrThenEmptyLine", {"x\r", "\n\r\n"}, {"x", ""}}),
                         [](const ::testing::TestParamInfo<TLineCase>& param)
                         { return std::string(param.param.name); });

TEST(BlockSocketReadTest, ExactLengthsPacketsAndTerminators)
{
    TScriptedServer server("127.0.0.1",
                           [](const TLink& link)
                           {
                               link.Send("0123");
                               link.Pause(30);
                               link.Send("456789head");
                               link.Pause(30);
                               link.Send("er\n--END--tail");
                               link.WaitForStop();
                           });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(socket.RecvBufferStr(7, 5000), "0123456");
    char three[3];
    ASSERT_TRUE(socket.RecvBufferEx(three, 3, 5000));
    EXPECT_EQ(std::string(three, 3), "789");
    EXPECT_EQ(socket.RecvByte(5000), 'h');
    EXPECT_EQ(socket.RecvString(5000), "eader");
    EXPECT_EQ(socket.RecvTerminated(5000, "--END--"), "");
    EXPECT_EQ(socket.LastError(), 0);
    EXPECT_EQ(socket.RecvPacket(5000), "tail");
    // A short read keeps what arrived: asking for more than exists times out, and the bytes
    // are still there afterwards.
    EXPECT_EQ(socket.RecvPacket(50), "");
    EXPECT_EQ(socket.LastError(), kNetErrTimeout);
}

TEST(BlockSocketReadTest, TimeOutsKeepPartialDataForTheNextCall)
{
    TScriptedServer server("127.0.0.1",
                           [](const TLink& link)
                           {
                               link.Send("part");
                               link.ReadLine(); // released by the client
                               link.Send("ial\nabcdef");
                               link.WaitForStop();
                           });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(socket.RecvString(100), "");
    EXPECT_EQ(socket.LastError(), kNetErrTimeout);
    EXPECT_EQ(socket.LastErrorDesc(), "Operation timed out");
    EXPECT_TRUE(socket.CanRead(0)); // "part" is buffered
    ASSERT_TRUE(socket.SendString("go\n"));
    EXPECT_EQ(socket.RecvString(5000), "partial");
    EXPECT_EQ(socket.RecvBufferStr(10, 100), "");
    EXPECT_EQ(socket.LastError(), kNetErrTimeout);
    EXPECT_TRUE(socket.CanRead(0));
    EXPECT_EQ(socket.WaitingData(), 6u);
    EXPECT_EQ(socket.RecvBufferStr(6, 0), "abcdef");
}

TEST(BlockSocketReadTest, PurgeDropsWhatArrivedAndPeerCloseIsReported)
{
    TScriptedServer server("127.0.0.1",
                           [](const TLink& link)
                           {
                               link.Send("stale\nstale\n");
                               link.ReadLine();
                               link.Send("fresh\n");
                           });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    ASSERT_TRUE(socket.CanRead(5000));
    EXPECT_EQ(socket.RecvString(5000), "stale");
    socket.Purge();
    EXPECT_EQ(socket.WaitingData(), 0u);
    ASSERT_TRUE(socket.SendString("next\n"));
    EXPECT_EQ(socket.RecvString(5000), "fresh");
    EXPECT_TRUE(socket.CanRead(5000)); // the close is readable
    EXPECT_EQ(socket.RecvByte(5000), -1);
    EXPECT_EQ(socket.LastError(), kNetErrClosed);
    EXPECT_EQ(socket.LastErrorDesc(), "Connection closed by the peer");
}

// A peer that never ends its line must not make the reader's memory grow without bound.
TEST(BlockSocketReadTest, EndlessLineFailsAtTheLimit)
{
    TScriptedServer server("127.0.0.1",
                           [](const TLink& link)
                           {
                               const std::string block(4096, 'a');
                               for (int i = 0; i < 64 && link.Pause(0); ++i)
                               {
                                   link.Send(block);
                               }
                               link.WaitForStop();
                           });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    socket.SetMaxLineLength(10000);
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(socket.RecvString(5000), "");
    EXPECT_EQ(socket.LastError(), kNetErrLineTooLong);
    EXPECT_EQ(socket.LastErrorDesc(), "Line too long");
    EXPECT_EQ(socket.RecvTerminated(5000, "\r\n"), "");
    EXPECT_EQ(socket.LastError(), kNetErrLineTooLong);
}

// ---- Abort

TEST(BlockSocketAbortTest, AbortBreaksAReceiveAndSticksUntilReset)
{
    TScriptedServer server("127.0.0.1", [](const TLink& link) { link.WaitForStop(); });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    // Nothing to read is an answer, not an error.
    EXPECT_FALSE(socket.CanRead(50));
    EXPECT_EQ(socket.LastError(), 0);
    std::thread aborter;
    AbortLater(socket, aborter);
    EXPECT_EQ(socket.RecvString(-1), "");
    aborter.join();
    EXPECT_EQ(socket.LastError(), kNetErrAborted);
    EXPECT_EQ(socket.LastErrorDesc(), "Operation aborted");
    EXPECT_FALSE(socket.SendString("x"));
    EXPECT_EQ(socket.LastError(), kNetErrAborted);
    socket.CloseSocket();
    EXPECT_FALSE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(socket.LastError(), kNetErrAborted);
    socket.ResetAbort();
    EXPECT_TRUE(socket.Connect("127.0.0.1", server.Port())) << socket.LastErrorDesc();
}

TEST(BlockSocketAbortTest, AbortBreaksASendToAPeerThatDoesNotRead)
{
    TScriptedServer server("127.0.0.1", [](const TLink& link) { link.WaitForStop(); });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    socket.SetBufferSizes(4096, 4096);
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    std::thread aborter;
    AbortLater(socket, aborter);
    const std::string big(64 * 1024 * 1024, 'x');
    EXPECT_FALSE(socket.SendString(big));
    aborter.join();
    EXPECT_EQ(socket.LastError(), kNetErrAborted);
}

// Runs `body` on a thread of its own inside a fresh network namespace in which 10.99.0.0/24 is
// routed into the loopback device, where the kernel drops it: connects to it and DNS queries
// to it get no answer at all. Needs root; false when the namespace cannot be made.
bool RunInBlackhole(const std::function<void(bool resolverRedirected)>& body)
{
    bool available = false;
    std::thread runner(
        [&]
        {
            if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            {
                return;
            }
            const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            ifreq loopback{};
            std::strcpy(loopback.ifr_name, "lo");
            bool ok = ioctl(control, SIOCGIFFLAGS, &loopback) == 0;
            loopback.ifr_flags = static_cast<short>(loopback.ifr_flags | IFF_UP);
            ok = ok && ioctl(control, SIOCSIFFLAGS, &loopback) == 0;
            rtentry route{};
            auto* destination = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
            destination->sin_family = AF_INET;
            inet_pton(AF_INET, "10.99.0.0", &destination->sin_addr);
            auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
            mask->sin_family = AF_INET;
            inet_pton(AF_INET, "255.255.255.0", &mask->sin_addr);
            route.rt_flags = RTF_UP;
            char device[] = "lo";
            route.rt_dev = device;
            ok = ok && ioctl(control, SIOCADDRT, &route) == 0;
            close(control);
            if (!ok)
            {
                return;
            }
            available = true;
            // The resolver's server is replaced for this namespace only (the mounts are private).
            test::TTempFolder folder;
            test::WriteWholeFile(folder.File("resolv.conf"), "nameserver 10.99.0.2\noptions timeout:2 attempts:1\n");
            const bool redirected =
                mount(folder.File("resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
            body(redirected);
        });
    runner.join();
    return available;
}

TEST(BlockSocketAbortTest, AbortAndTimeOutBreakAConnectAndAResolveThatGetNoAnswer)
{
    const bool ran = RunInBlackhole(
        [](bool resolverRedirected)
        {
            TTCPBlockSocket socket;
            ASSERT_TRUE(socket.Bind("0.0.0.0", "0"));
            std::thread aborter;
            AbortLater(socket, aborter);
            EXPECT_FALSE(socket.Connect("10.99.0.3", "80"));
            aborter.join();
            EXPECT_EQ(socket.LastError(), kNetErrAborted);

            socket.ResetAbort();
            socket.SetConnectTimeout(200);
            EXPECT_FALSE(socket.Connect("10.99.0.3", "80"));
            EXPECT_EQ(socket.LastError(), kNetErrTimeout);
            if (!resolverRedirected)
            {
                return;
            }
            // The lookups below outlive their callers; their helpers finish on their own later.
            EXPECT_FALSE(socket.Connect("unanswered.wardlark.test", "80"));
            EXPECT_EQ(socket.LastError(), kNetErrTimeout);
            socket.SetConnectTimeout(0);
            AbortLater(socket, aborter);
            EXPECT_FALSE(socket.Connect("unanswered.wardlark.test", "80"));
            aborter.join();
            EXPECT_EQ(socket.LastError(), kNetErrAborted);
        });
    if (!ran)
    {
        GTEST_SKIP() << "no private network namespace (needs root)";
    }
}

// ---- TLS

// A self-signed certificate for "localhost" made by the openssl tool in a temporary folder.
class TlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // scripts/setup.sh installs the openssl tool.
        ASSERT_EQ(system("command -v openssl >/dev/null 2>&1"), 0) << "openssl tool missing";
        ASSERT_TRUE(MakeCertificate("localhost", Key(), Certificate()));
        ASSERT_TRUE(MakeCertificate("wardlark.test", folder_.File("key2.pem"), folder_.File("cert2.pem")));
    }

    static bool MakeCertificate(const std::string& name, const std::string& key, const std::string& certificate)
    {
        const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=" + name +
                                    " -days 1 -keyout " + key + " -out " + certificate + " >/dev/null 2>&1";
        return system(command.c_str()) == 0;
    }

    void TearDown() override
    {
        if (serverPid_ > 0)
        {
            kill(serverPid_, SIGTERM);
            waitpid(serverPid_, nullptr, 0);
        }
    }

    std::string Key() const { return folder_.File("key.pem"); }
    std::string Certificate() const { return folder_.File("cert.pem"); }

    // Starts "openssl s_server" answering HTTP requests with a status page. It presents the
    // "localhost" certificate to clients that send no server name and the "wardlark.test" one to
    // clients that send that name; any other name ends the handshake with a fatal alert.
    std::string StartServer()
    {
        const std::string port = ClosedPort();
        const std::string log = folder_.File("server.log");
        // clang-format off
        std::vector<std::string> arguments = {
            "openssl", "s_server", "-accept", "127.0.0.1:" + port, "-www",
            "-cert", Certificate(), "-key", Key(),
            "-servername", "wardlark.test", "-servername_fatal",
            "-cert2", folder_.File("cert2.pem"), "-key2", folder_.File("key2.pem")};
        // clang-format on
        std::vector<char*> argv;
        for (std::string& argument : arguments)
        {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int spawned = posix_spawnp(&serverPid_, "openssl", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
        {
            serverPid_ = 0;
            return "";
        }
        // Ready once it accepts; the probe's aborted handshake does not disturb it.
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            TTCPBlockSocket probe;
            if (probe.Connect("127.0.0.1", port))
            {
                return port;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "";
    }

    test::TTempFolder folder_;
    pid_t serverPid_ = 0;
};

TEST_F(TlsTest, HandshakeSendsTheServerNameAndCarriesData)
{
    const std::string port = StartServer();
    ASSERT_FALSE(port.empty());
    TTCPBlockSocket socket;
    socket.SetConnectTimeout(10000);
    // Only the certificate the server picks for the name "wardlark.test" is trusted, so the
    // handshake succeeds only when that name arrived.
    socket.SetVerifyCertificate(true, folder_.File("cert2.pem"));
    socket.SetSNIHost("wardlark.test");
    ASSERT_TRUE(socket.Connect("127.0.0.1", port));
    ASSERT_TRUE(socket.SSLDoConnect()) << socket.LastErrorDesc();
    EXPECT_TRUE(socket.SSLEnabled());
    ASSERT_TRUE(socket.SendString("GET / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(socket.RecvString(10000).rfind("HTTP/1.0 200", 0), 0u);
    std::string rest;
    while (socket.LastError() == 0)
    {
        rest += socket.RecvPacket(10000);
    }
    EXPECT_EQ(socket.LastError(), kNetErrClosed);
    EXPECT_NE(rest.find("</HTML>"), std::string::npos) << "the whole page arrived before the close";

    // A different name is refused by the server.
    socket.CloseSocket();
    socket.SetVerifyCertificate(false);
    socket.SetSNIHost("other.test");
    ASSERT_TRUE(socket.Connect("127.0.0.1", port));
    EXPECT_FALSE(socket.SSLDoConnect());
    EXPECT_EQ(socket.LastError(), kNetErrTls);
    EXPECT_EQ(socket.LastErrorDesc().rfind("TLS error: ", 0), 0u) << socket.LastErrorDesc();
}

struct TVerifyCase
{
    const char* name;
    bool useOwnCertificate; // trust the test's certificate, else the system store
    const char* serverName;
    bool succeeds;
};

class TlsVerifyTest : public TlsTest, public ::testing::WithParamInterface<TVerifyCase>
{
};

TEST_P(TlsVerifyTest, VerificationChecksChainAndName)
{
    // Our own server socket serves the handshake, which covers the server side as well.
    TTCPBlockSocket listener;
    ASSERT_TRUE(listener.Bind("127.0.0.1", "0"));
    ASSERT_TRUE(listener.Listen());
    std::thread server(
        [&]
        {
            TTCPBlockSocket connection;
            connection.Adopt(listener.Accept(10000));
            connection.SetConnectTimeout(10000);
            connection.SetCertificateFiles(Certificate(), Key());
            if (connection.SSLAcceptConnection())
            {
                connection.SendString("secure\r\n");
                connection.RecvString(10000);
            }
        });
    TTCPBlockSocket socket;
    socket.SetConnectTimeout(10000);
    const TVerifyCase& testCase = GetParam();
    socket.SetVerifyCertificate(true, testCase.useOwnCertificate ? Certificate() : "");
    socket.SetSNIHost(testCase.serverName);
    ASSERT_TRUE(socket.Connect("127.0.0.1", std::to_string(listener.GetLocalSinPort())));
    const bool handshake = socket.SSLDoConnect();
    EXPECT_EQ(handshake, testCase.succeeds) << socket.LastErrorDesc();
    if (handshake)
    {
        EXPECT_EQ(socket.RecvString(10000), "secure");
    }
    else
    {
        EXPECT_EQ(socket.LastError(), kNetErrTls);
        EXPECT_NE(socket.LastErrorDesc().find("certificate verify failed"), std::string::npos)
            << socket.LastErrorDesc();
    }
    socket.CloseSocket();
    server.join();
}

INSTANTIATE_TEST_SUITE_P(Cases, TlsVerifyTest,
                         ::testing::Values(TVerifyCase{"TrustedAndNamed", true, "localhost", true},
                                           TVerifyCase{"WrongName", true, "wardlark.test", false},
                                           TVerifyCase{"SelfSignedUntrusted", false, "localhost", false}),
                         [](const ::testing::TestParamInfo<TVerifyCase>& param)
                         { return std::string(param.param.name); });

TEST(BlockSocketTlsTest, PlainListenerFailsTheHandshakeWithTlsError)
{
    TScriptedServer server("127.0.0.1",
                           [](const TLink& link)
                           {
                               link.Send("220 plain text service ready\r\n");
                               link.WaitForStop();
                           });
    ASSERT_TRUE(server.Ok());
    TTCPBlockSocket socket;
    socket.SetConnectTimeout(10000);
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_FALSE(socket.SSLDoConnect());
    EXPECT_EQ(socket.LastError(), kNetErrTls);
    EXPECT_GT(socket.LastErrorDesc().size(), std::string("TLS error: ").size()) << socket.LastErrorDesc();
    EXPECT_FALSE(socket.SSLEnabled());
}

} // namespace
