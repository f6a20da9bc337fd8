#pragma once

#include <string>

namespace wardlark
{

// Number of running processes whose executable name, lower-cased, equals `name` (compared
// lower-cased too), this process included. Read from /proc; 0 when it cannot be read.
int CountProgramProcesses(const std::string& name);

} // namespace wardlark
