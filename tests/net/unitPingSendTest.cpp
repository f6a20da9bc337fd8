#include "net/unitPingSend.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <linux/capability.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace wardlark;

namespace
{

// Settings of a private network namespace that holds only loopback, so that pings that must
// go unanswered or draw ICMP errors never leave the machine or touch the host's settings.
struct TFreshNetwork
{
    bool answerEcho = true;
    const char* pingGroups = "0 2147483647"; // every group may open ICMP datagram sockets
    bool dropRawCapability = false;
};

bool WriteSetting(const char* path, const std::string& value)
{
    std::ofstream file(path);
    file << value;
    file.flush();
    return static_cast<bool>(file);
}

// Drops CAP_NET_RAW from the calling thread's effective set (capabilities are per thread).
bool DropRawCapability()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~(1U << CAP_NET_RAW);
    return syscall(SYS_capset, &header, data) == 0;
}

// Runs `body` on a thread of its own inside a new network namespace set up as `network` says.
// Returns "" when the body ran, otherwise why it could not (the caller skips the test).
std::string RunInFreshNetwork(const TFreshNetwork& network, const std::function<void()>& body)
{
    std::string why;
    std::thread thread(
        [&]
        {
            if (unshare(CLONE_NEWNET) != 0)
            {
                why = std::string("no network namespace: ") + std::strerror(errno);
                return;
            }
            const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            ifreq request{};
            std::strcpy(request.ifr_name, "lo");
            request.ifr_flags = IFF_UP;
            const bool up = control >= 0 && ioctl(control, SIOCSIFFLAGS, &request) == 0;
            if (control >= 0)
                close(control);
            const std::string ignore = network.answerEcho ? "0" : "1";
            if (!up || !WriteSetting("/proc/sys/net/ipv4/icmp_echo_ignore_all", ignore) ||
                !WriteSetting("/proc/sys/net/ipv6/icmp/echo_ignore_all", ignore) ||
                !WriteSetting("/proc/sys/net/ipv4/ping_group_range", network.pingGroups))
            {
                why = "cannot set up loopback in the namespace";
                return;
            }
            if (network.dropRawCapability && !DropRawCapability())
            {
                why = "cannot drop CAP_NET_RAW";
                return;
            }
            body();
        });
    thread.join();
    return why;
}

struct TKindCase
{
    const char* name;
    TPingSocketKind kind;
    const char* address;
};

std::string KindCaseName(const ::testing::TestParamInfo<TKindCase>& p)
{
    return p.param.name;
}

const TKindCase kKindCases[] = {
    {"RawIPv4", TPingSocketKind::Raw, "127.0.0.1"},
    {"RawIPv6", TPingSocketKind::Raw, "::1"},
    {"DatagramIPv4", TPingSocketKind::Datagram, "127.0.0.1"},
    {"DatagramIPv6", TPingSocketKind::Datagram, "::1"},
};

class PingSendKind : public ::testing::TestWithParam<TKindCase>
{
};

TEST_P(PingSendKind, LoopbackAnswersWithEveryDataSize)
{
    const TKindCase& c = GetParam();
    const std::string why = RunInFreshNetwork({},
                                              [&]
                                              {
                                                  TPINGSend ping;
                                                  ping.SetSocketKind(c.kind);
                                                  ping.SetTimeout(5000);
                                                  for (int size : {0, 32, 1500, 65500})
                                                  {
                                                      ping.SetPacketSize(size);
                                                      EXPECT_TRUE(ping.Ping(c.address))
                                                          << size << ": " << ping.LastErrorDesc()
                                                          << ping.ReplyErrorDesc();
                                                      EXPECT_EQ(ping.UsedSocketKind(), c.kind);
                                                      EXPECT_EQ(ping.ReplyFrom(), c.address);
                                                      EXPECT_GT(ping.TTL(), 0);
                                                      EXPECT_GE(ping.PingTime(), 0);
                                                      EXPECT_EQ(ping.ReplyError(), ieNoError);
                                                      EXPECT_EQ(ping.LastError(), 0);
                                                  }
                                              });
    if (!why.empty())
        GTEST_SKIP() << why;
}

TEST_P(PingSendKind, TimeOutWhenNothingAnswers)
{
    const TKindCase& c = GetParam();
    TFreshNetwork network;
    network.answerEcho = false;
    const std::string why = RunInFreshNetwork(network,
                                              [&]
                                              {
                                                  TPINGSend ping;
                                                  ping.SetSocketKind(c.kind);
                                                  ping.SetTimeout(300);
                                                  EXPECT_FALSE(ping.Ping(c.address));
                                                  EXPECT_EQ(ping.ReplyError(), ieOther);
                                                  EXPECT_EQ(ping.ReplyErrorDesc(), "Request timed out.");
                                                  EXPECT_EQ(ping.LastError(), 0);
                                                  EXPECT_EQ(ping.ReplyFrom(), "");
                                                  EXPECT_EQ(ping.PingTime(), -1);
                                              });
    if (!why.empty())
        GTEST_SKIP() << why;
}

// Abort from another thread ends a ping that would otherwise wait 60 s, and every later one.
TEST_P(PingSendKind, AbortFromAnotherThread)
{
    const TKindCase& c = GetParam();
    TFreshNetwork network;
    network.answerEcho = false;
    const std::string why = RunInFreshNetwork(network,
                                              [&]
                                              {
                                                  TPINGSend ping;
                                                  ping.SetSocketKind(c.kind);
                                                  ping.SetTimeout(60000);
                                                  std::thread aborter(
                                                      [&ping]
                                                      {
                                                          std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                                          ping.Abort();
                                                      });
                                                  EXPECT_FALSE(ping.Ping(c.address));
                                                  aborter.join();
                                                  EXPECT_EQ(ping.LastError(), kNetErrAborted);
                                                  EXPECT_EQ(ping.ReplyError(), ieOther);
                                                  EXPECT_FALSE(ping.Ping(c.address));
                                                  EXPECT_EQ(ping.LastError(), kNetErrAborted);
                                              });
    if (!why.empty())
        GTEST_SKIP() << why;
}

INSTANTIATE_TEST_SUITE_P(Cases, PingSendKind, ::testing::ValuesIn(kKindCases), KindCaseName);

// Answers the first echo request seen on loopback with an ICMP error message quoting it, sent
// from `router` (an address of loopback).
void ForgeError(int family, const char* router, uint8_t type, uint8_t code, std::promise<void>& listening)
{
    // A bound raw socket sees only datagrams to its own address: one socket listens, a second
    // one bound to the router's address answers.
    const int protocol = family == AF_INET ? static_cast<int>(IPPROTO_ICMP) : static_cast<int>(IPPROTO_ICMPV6);
    const int fd = socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
    const int sender = socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
    sockaddr_storage from{};
    socklen_t fromLength = 0;
    if (family == AF_INET)
    {
        auto* address = reinterpret_cast<sockaddr_in*>(&from);
        address->sin_family = AF_INET;
        inet_pton(AF_INET, router, &address->sin_addr);
        fromLength = sizeof(sockaddr_in);
    }
    else
    {
        auto* address = reinterpret_cast<sockaddr_in6*>(&from);
        address->sin6_family = AF_INET6;
        inet_pton(AF_INET6, router, &address->sin6_addr);
        fromLength = sizeof(sockaddr_in6);
    }
    ASSERT_GE(fd, 0);
    ASSERT_GE(sender, 0);
    ASSERT_EQ(bind(sender, reinterpret_cast<sockaddr*>(&from), fromLength), 0) << std::strerror(errno);
    listening.set_value();

    uint8_t packet[2048];
    for (;;)
    {
        pollfd wait{fd, POLLIN, 0};
        ASSERT_EQ(poll(&wait, 1, 5000), 1) << "no echo request seen";
        sockaddr_storage requester{};
        socklen_t requesterLength = sizeof(requester);
        const ssize_t length =
            recvfrom(fd, packet, sizeof(packet), 0, reinterpret_cast<sockaddr*>(&requester), &requesterLength);
        ASSERT_GT(length, 0);
        std::vector<uint8_t> error(8, 0);
        error[0] = type;
        error[1] = code;
        if (family == AF_INET)
        {
            const size_t headerLength = static_cast<size_t>(packet[0] & 0x0F) * 4;
            if (packet[headerLength] != 8)
                continue;
            if (type == 5) // a redirect names its gateway
                std::memcpy(error.data() + 4, &reinterpret_cast<sockaddr_in*>(&from)->sin_addr, 4);
            error.insert(error.end(), packet, packet + headerLength + 8);
            uint32_t sum = 0;
            for (size_t i = 0; i + 1 < error.size(); i += 2)
                sum += static_cast<uint32_t>((error[i] << 8) | error[i + 1]);
            while ((sum >> 16) != 0)
                sum = (sum & 0xFFFF) + (sum >> 16);
            error[2] = static_cast<uint8_t>((~sum >> 8) & 0xFF);
            error[3] = static_cast<uint8_t>(~sum & 0xFF);
        }
        else
        {
            if (packet[0] != 128)
                continue;
            // The kernel does not hand the IPv6 header to a raw socket: rebuild the request's.
            uint8_t header[40]{};
            header[0] = 0x60;
            header[4] = static_cast<uint8_t>(length >> 8);
            header[5] = static_cast<uint8_t>(length & 0xFF);
            header[6] = 58;
            header[7] = 64;
            std::memcpy(header + 8, &reinterpret_cast<sockaddr_in6*>(&requester)->sin6_addr, 16);
            std::memcpy(header + 24, &reinterpret_cast<sockaddr_in6*>(&requester)->sin6_addr, 16);
            error.insert(error.end(), header, header + 40);
            error.insert(error.end(), packet, packet + length);
        }
        ASSERT_GT(
            sendto(sender, error.data(), error.size(), 0, reinterpret_cast<sockaddr*>(&requester), requesterLength), 0)
            << std::strerror(errno);
        break;
    }
    close(fd);
    close(sender);
}

struct TErrorCase
{
    const char* name;
    int family;
    uint8_t type;
    uint8_t code;
    TICMPError expected;
};

std::string ErrorCaseName(const ::testing::TestParamInfo<std::tuple<TErrorCase, TPingSocketKind>>& p)
{
    return std::string(std::get<0>(p.param).name) +
           (std::get<1>(p.param) == TPingSocketKind::Raw ? "_Raw" : "_Datagram");
}

class PingSendError : public ::testing::TestWithParam<std::tuple<TErrorCase, TPingSocketKind>>
{
};

// An ICMP error about our request ends the ping with its kind and the router's address;
// redirects and source quenches are reported only once the time-out has passed.
TEST_P(PingSendError, ErrorMessageAboutTheRequest)
{
    const TErrorCase& c = std::get<0>(GetParam());
    const TPingSocketKind kind = std::get<1>(GetParam());
    const char* target = c.family == AF_INET ? "127.0.0.1" : "::1";
    const char* router = c.family == AF_INET ? "127.0.0.2" : "::1";
    TFreshNetwork network;
    network.answerEcho = false;
    const std::string why =
        RunInFreshNetwork(network,
                          [&]
                          {
                              std::promise<void> listening;
                              std::future<void> ready = listening.get_future();
                              std::thread forger([&] { ForgeError(c.family, router, c.type, c.code, listening); });
                              ready.wait();
                              TPINGSend ping;
                              ping.SetSocketKind(kind);
                              const bool advisory = c.expected == ieRedirect || c.expected == ieSourceQuench;
                              ping.SetTimeout(advisory ? 500 : 10000);
                              EXPECT_FALSE(ping.Ping(target));
                              forger.join();
                              EXPECT_EQ(ping.ReplyError(), c.expected);
                              EXPECT_EQ(ping.ReplyErrorDesc(), ICMPErrorText(c.expected));
                              EXPECT_EQ(ping.ReplyFrom(), router);
                              EXPECT_EQ(ping.LastError(), 0) << ping.LastErrorDesc();
                          });
    if (!why.empty())
        GTEST_SKIP() << why;
}

const TErrorCase kErrorCases[] = {
    {"NetUnreachable4", AF_INET, 3, 0, ieUnreachNet},
    {"HostUnreachable4", AF_INET, 3, 1, ieUnreachHost},
    {"PortUnreachable4", AF_INET, 3, 3, ieUnreachPort},
    {"Prohibited4", AF_INET, 3, 13, ieUnreachAdmin},
    {"TimeExceeded4", AF_INET, 11, 0, ieTTLExceeded},
    {"ParameterProblem4", AF_INET, 12, 0, ieParameter},
    {"Redirect4", AF_INET, 5, 1, ieRedirect},
    {"NoRoute6", AF_INET6, 1, 0, ieUnreachNet},
    {"AddressUnreachable6", AF_INET6, 1, 3, ieUnreachHost},
    {"TimeExceeded6", AF_INET6, 3, 0, ieTTLExceeded},
    {"ParameterProblem6", AF_INET6, 4, 0, ieParameter},
};

INSTANTIATE_TEST_SUITE_P(Cases, PingSendError,
                         ::testing::Combine(::testing::ValuesIn(kErrorCases),
                                            ::testing::Values(TPingSocketKind::Raw, TPingSocketKind::Datagram)),
                         ErrorCaseName);

// Without CAP_NET_RAW the automatic choice falls back to the datagram socket; with the group
// outside ping_group_range as well, the ping fails with the socket's error.
TEST(PingSend, AutoFallsBackToDatagramAndReportsWhenNeitherIsAllowed)
{
    TFreshNetwork network;
    network.dropRawCapability = true;
    std::string why = RunInFreshNetwork(network,
                                        [&]
                                        {
                                            TPINGSend ping;
                                            EXPECT_TRUE(ping.Ping("127.0.0.1")) << ping.LastErrorDesc();
                                            EXPECT_EQ(ping.UsedSocketKind(), TPingSocketKind::Datagram);
                                        });
    if (!why.empty())
        GTEST_SKIP() << why;
    network.pingGroups = "1 0";
    why = RunInFreshNetwork(network,
                            [&]
                            {
                                TPINGSend ping;
                                EXPECT_FALSE(ping.Ping("127.0.0.1"));
                                EXPECT_EQ(ping.UsedSocketKind(), TPingSocketKind::Auto);
                                EXPECT_EQ(ping.LastError(), EACCES);
                                EXPECT_NE(ping.LastErrorDesc().find("ping_group_range"), std::string::npos);
                                EXPECT_EQ(ping.ReplyError(), ieOther);
                            });
    EXPECT_EQ(why, "");
}

// The host's own loopback, with whatever socket the process may open.
TEST(PingSend, HostLoopback)
{
    for (const char* address : {"127.0.0.1", "::1"})
    {
        TPINGSend ping;
        ping.SetTimeout(5000);
        const bool replied = ping.Ping(address);
        if (ping.LastError() == EACCES || ping.LastError() == EPERM)
            GTEST_SKIP() << "no ICMP socket: " << ping.LastErrorDesc();
        EXPECT_TRUE(replied) << ping.LastErrorDesc() << ping.ReplyErrorDesc();
        EXPECT_EQ(ping.ReplyFrom(), address);
        EXPECT_GT(ping.TTL(), 0);
        EXPECT_GE(ping.PingTime(), 0);
    }
}

TEST(PingSend, UnresolvableNameGivesZeroAddress)
{
    TPINGSend ping;
    ping.SetTimeout(5000);
    EXPECT_EQ(ping.ResolveName("no-such-host.invalid"), "0.0.0.0");
    EXPECT_NE(ping.LastError(), 0);
    EXPECT_EQ(ping.ResolveName("::1"), "::1");
    EXPECT_EQ(ping.LastError(), 0);
    EXPECT_FALSE(ping.Ping("no-such-host.invalid"));
    EXPECT_NE(ping.LastError(), 0);
    EXPECT_EQ(ping.ReplyError(), ieOther);
}

} // namespace
