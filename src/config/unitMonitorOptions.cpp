#include "config/unitMonitorOptions.h"

namespace wardlark::mo
{

int DefaultPort(int monitorType)
{
    static constexpr int kPorts[] = {-1, 80, 21, 110, 143, 25, 23, 22, 1, -1, 53280};
    return monitorType >= 0 && monitorType < static_cast<int>(std::size(kPorts)) ? kPorts[monitorType] : -1;
}

} // namespace wardlark::mo
