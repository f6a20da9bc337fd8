// Writes a monitor list for load measurements: COUNT custom TCP monitors on HOST:PORT that are
// checked every INTERVAL seconds.
//
//   WardlarkMakeMonitors DATAFOLDER COUNT HOST PORT INTERVAL
#include "config/unitMonitorOptions.h"
#include "config/unitWardlark.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace wardlark;

int main(int argc, char** argv)
{
    if (argc != 6)
    {
        std::fprintf(stderr, "usage: WardlarkMakeMonitors DATAFOLDER COUNT HOST PORT INTERVAL\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const int count = std::atoi(argv[2]);
    TWardlarkList list(true);
    for (int i = 0; i < count; ++i)
    {
        auto monitor = std::make_unique<TWardlark>();
        monitor->Name = "26C0B" + std::to_string(1000000 + i);
        monitor->ID = MonitorIDOf(monitor->Name);
        monitor->DisplayName = "TCP monitor " + std::to_string(i);
        monitor->Type = mtCustom;
        monitor->Interval = std::atoi(argv[5]) * 1000;
        TOptionsList options;
        options.WriteString(mo::kHost, argv[3]);
        options.WriteString(mo::kPort, argv[4]);
        monitor->TypeOptions[mtCustom] = options.Text();
        list.Add(std::move(monitor));
    }
    try
    {
        list.SaveToFile(folder + "wardlarks.dat", 1, 0);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%d monitors written to %swardlarks.dat\n", count, folder.c_str());
    return 0;
}
