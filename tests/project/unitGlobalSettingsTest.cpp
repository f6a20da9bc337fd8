#include "project/unitGlobalSettings.h"
#include "support/unitCrc32.h"
#include "testFixtures.h"

using namespace wardlark;

namespace
{

class GlobalSettings : public ::testing::Test
{
protected:
    std::string Path() const { return folder_.File("config.dat"); }
    test::TTempFolder folder_;
};

TEST_F(GlobalSettings, EmptyFileLoadsTheSevenKeysSetAtLoad)
{
    test::WriteWholeFile(Path(), "");
    TOptionsList options;
    LoadSettingsFile(options, Path());
    EXPECT_EQ(options.Count(), 7);
    EXPECT_EQ(options.ReadString(gs::kSkin), "Neutral (internal)");
    EXPECT_EQ(options.ReadString(gs::kIconsSet), "Realistic");
    EXPECT_TRUE(options.ReadBool(gs::kCheckForUpdates));
    EXPECT_FALSE(options.ReadBool(gs::kUseProxy));
}

TEST_F(GlobalSettings, SaveWritesCompanionsAndKeepsPasswordsScrambled)
{
    TOptionsList options;
    options.WriteString(gs::kUpServers, "127.0.0.1\r\n::1");
    options.WritePassword(gs::kSMTPPass, "s3cret-Password");
    ASSERT_TRUE(SaveSettingsFile(options, Path()));
    const std::string text = test::ReadWholeFile(Path());
    EXPECT_EQ(text.find("s3cret-Password"), std::string::npos);
    EXPECT_NE(text.find("UpServers=127.0.0.1%0D%0A::1"), std::string::npos);
    EXPECT_EQ(test::ReadWholeFile(Path() + ".crc"), std::to_string(Crc32(text)));
    EXPECT_EQ(test::ReadWholeFile(Path() + ".bkp"), text);

    TOptionsList loaded;
    LoadSettingsFile(loaded, Path());
    EXPECT_EQ(loaded.ReadPassword(gs::kSMTPPass), "s3cret-Password");
    EXPECT_EQ(loaded.ReadString(gs::kUpServers), "127.0.0.1\r\n::1");
}

TEST_F(GlobalSettings, ChecksumSelectsTheBackup)
{
    test::WriteWholeFile(Path(), "Sender=data@example.org");
    test::WriteWholeFile(Path() + ".bkp", "Sender=backup@example.org");
    const std::string crc = std::to_string(Crc32("Sender=data@example.org"));
    const struct
    {
        std::string crcText; // empty: no .crc file
        const char* sender;
    } cases[] = {
        {"", "data@example.org"},  // no companion: no check
        {crc, "data@example.org"}, // match
        {std::to_string(Crc32("Sender=data@example.org") + 4294967296ull), "backup@example.org"}, // >= 2^32
        {"garbage", "backup@example.org"},
    };
    for (const auto& c : cases)
    {
        std::filesystem::remove(Path() + ".crc");
        if (!c.crcText.empty())
            test::WriteWholeFile(Path() + ".crc", c.crcText);
        TOptionsList options;
        LoadSettingsFile(options, Path());
        EXPECT_EQ(options.ReadString(gs::kSender), c.sender) << c.crcText;
    }
}

TEST(GlobalSettingsValues, IntervalAndPortFallBacks)
{
    TOptionsList options;
    EXPECT_EQ(ICFIntervalSeconds(options), 60);
    options.WriteString(gs::kICFInterval, "0");
    EXPECT_EQ(ICFIntervalSeconds(options), 60);
    options.WriteString(gs::kICFInterval, "30");
    EXPECT_EQ(ICFIntervalSeconds(options), 30);
    EXPECT_EQ(WebServerPort(options), 50080);
    options.WriteString(gs::kWebServerPort, "x");
    EXPECT_EQ(WebServerPort(options), 50080);
}

} // namespace
