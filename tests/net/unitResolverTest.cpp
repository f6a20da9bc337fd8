#include "net/unitResolver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <netinet/in.h>

using namespace wardlark;

namespace
{

struct TIPCase
{
    const char* text;
    bool isIP;
};

class IsIPAddressTest : public ::testing::TestWithParam<TIPCase>
{
};

TEST_P(IsIPAddressTest, RecognisesOnlyBareAddresses)
{
    EXPECT_EQ(IsIPAddress(GetParam().text), GetParam().isIP) << GetParam().text;
}

// inet_aton's short forms ("127.1", "0x7f.0.0.1") are host names to us, as the ping check
// must resolve them rather than take them as given.
INSTANTIATE_TEST_SUITE_P(Texts, IsIPAddressTest,
                         ::testing::Values(TIPCase{"127.0.0.1", true}, TIPCase{"::1", true},
                                           TIPCase{"fe80::1%lo", true}, TIPCase{"2001:db8::a:b", true},
                                           TIPCase{"127.1", false}, TIPCase{"0x7f.0.0.1", false},
                                           TIPCase{"256.0.0.1", false}, TIPCase{"[::1]", false},
                                           TIPCase{" 127.0.0.1", false}, TIPCase{"fe80::1%", false},
                                           TIPCase{"localhost", false}, TIPCase{"", false}));

TEST(ResolveHostTest, LiteralsConvertWithoutResolverAndRespectFamily)
{
    std::vector<TNetAddress> addresses;
    ASSERT_EQ(ResolveHost("[::1]", TAddressFamily::Any, 0, nullptr, addresses), kNetErrOk);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(addresses[0].Family(), AF_INET6);
    EXPECT_EQ(addresses[0].IP(), "::1");

    ASSERT_EQ(ResolveHost("192.0.2.7", TAddressFamily::IPv4, 0, nullptr, addresses), kNetErrOk);
    EXPECT_EQ(addresses.at(0).IP(), "192.0.2.7");
    EXPECT_EQ(addresses.at(0).Port(), 0);

    EXPECT_EQ(ResolveHost("192.0.2.7", TAddressFamily::IPv6, 0, nullptr, addresses), kNetErrHostNotFound);
    EXPECT_TRUE(addresses.empty());
    EXPECT_EQ(ResolveHost("", TAddressFamily::Any, 0, nullptr, addresses), kNetErrInvalidAddress);
}

TEST(ResolveHostTest, LocalhostResolvesToLoopbackWithoutDuplicates)
{
    std::vector<TNetAddress> addresses;
    ASSERT_EQ(ResolveHost("localhost", TAddressFamily::IPv4, 5000, nullptr, addresses), kNetErrOk);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(addresses[0].IP(), "127.0.0.1");
}

TEST(ResolveHostTest, NameUnderInvalidDomainIsNotFound)
{
    std::vector<TNetAddress> addresses;
    std::string detail;
    const int result = ResolveHost("no-such-host.invalid", TAddressFamily::Any, 20000, nullptr, addresses, &detail);
    // Offline resolvers may answer "try again" instead of "no such name"; both are failures.
    EXPECT_TRUE(result == kNetErrHostNotFound || result == kNetErrResolveFailed) << result << " " << detail;
    EXPECT_TRUE(addresses.empty());
}

TEST(ResolveHostTest, RaisedAbortStopsBeforeLookup)
{
    TAbortToken abort;
    abort.Abort();
    std::vector<TNetAddress> addresses;
    EXPECT_EQ(ResolveHost("localhost", TAddressFamily::Any, 0, &abort, addresses), kNetErrAborted);
    abort.Reset();
    EXPECT_FALSE(abort.IsAborted());
    EXPECT_EQ(ResolveHost("localhost", TAddressFamily::Any, 5000, &abort, addresses), kNetErrOk);
}

TEST(NetErrorTextTest, OwnCodesAndSystemErrorsHaveTexts)
{
    EXPECT_EQ(NetErrorText(0), "");
    EXPECT_EQ(NetErrorText(kNetErrTimeout), "Operation timed out");
    EXPECT_EQ(NetErrorText(kNetErrAborted), "Operation aborted");
    EXPECT_EQ(NetErrorText(ECONNREFUSED), "Connection refused");
}

} // namespace
