#include "project/unitDataFolders.h"
#include "project/unitRegistry.h"
#include "support/unitSystem.h"
#include "testFixtures.h"

#include <cstdlib>
#include <optional>

using namespace wardlark;

namespace
{

// Points the registry files and the data folder variables at a temporary folder.
class DataFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Remember("XDG_CONFIG_HOME");
        Remember("XDG_CONFIG_DIRS");
        Remember("XDG_DATA_HOME");
        setenv("XDG_CONFIG_HOME", (folder_.Path() + "user-config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (folder_.Path() + "machine-config").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder_.Path() + "data").c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : saved_)
            if (value.has_value())
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        std::filesystem::remove(HandOver(".usr"));
        std::filesystem::remove(HandOver(".dir"));
    }
    void Remember(const std::string& name)
    {
        const char* value = std::getenv(name.c_str());
        saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    static std::string HandOver(const std::string& extension) { return ProgramPath() + extension; }

    test::TTempFolder folder_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(DataFolders, RegistryValuesRoundTrip)
{
    EXPECT_EQ(ReadRegistryString(TRegistryHive::CurrentUser, "Software\\corvex\\Wardlark", "AppData"), "");
    ASSERT_TRUE(WriteRegistryString(TRegistryHive::CurrentUser, "Software\\corvex\\Wardlark", "AppData",
                                    "/srv/data=with\r\nodd bytes"));
    EXPECT_EQ(ReadRegistryString(TRegistryHive::CurrentUser, "software\\corvex\\wardlark", "appdata"),
              "/srv/data=with\r\nodd bytes");
    EXPECT_EQ(ReadRegistryString(TRegistryHive::LocalMachine, "Software\\corvex\\Wardlark", "AppData"), "");
    EXPECT_EQ(RegistryFileName(TRegistryHive::LocalMachine), folder_.Path() + "machine-config/corvex/registry");
}

TEST_F(DataFolders, RegistryOverridesTheDataAndSharedFolders)
{
    const auto plain = FormDataFolders({}, [] { return false; });
    EXPECT_EQ(plain.data, folder_.Path() + "data/corvex/Wardlark/");
    WriteRegistryString(TRegistryHive::CurrentUser, "Software\\corvex\\Wardlark", "AppData", "/srv/appdata");
    WriteRegistryString(TRegistryHive::LocalMachine, "Software\\corvex\\Wardlark", "Common AppData", "/srv/common");
    const auto overridden = FormDataFolders({}, [] { return false; });
    EXPECT_EQ(overridden.data, "/srv/appdata/corvex/Wardlark/");
    EXPECT_EQ(overridden.shared, "/srv/common/corvex/Wardlark/");
    EXPECT_EQ(overridden.program, ProgramFolder());
}

TEST_F(DataFolders, HandOverFilesApplyOnlyToTheServiceOfAnotherUser)
{
    test::WriteWholeFile(HandOver(".usr"), "installer\r\n");
    test::WriteWholeFile(HandOver(".dir"), "/home/installer/.local/share\r\n");
    const auto notRunning = FormDataFolders({"/service"}, [] { return false; });
    EXPECT_EQ(notRunning.data, folder_.Path() + "data/corvex/Wardlark/");
    const auto service = FormDataFolders({"/service"}, [] { return true; });
    EXPECT_EQ(service.data, "/home/installer/.local/share/corvex/Wardlark/");
    EXPECT_EQ(service.userName, "installer");
    EXPECT_FALSE(service.endAtOnce);

    test::WriteWholeFile(HandOver(".usr"), CurrentUserName());
    const auto sameUser = FormDataFolders({"/service"}, [] { return true; });
    EXPECT_EQ(sameUser.data, folder_.Path() + "data/corvex/Wardlark/");
}

} // namespace
