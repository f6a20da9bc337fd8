#pragma once

namespace wardlark
{

class TMonitorThread;

// The checks that need no application protocol: ping (type 0), custom TCP (type 8) and
// console application (type 9). Each loads its type's options into the worker's current
// options, reports through SetOutcome and turns its own errors into outcomes.

void RunPingCheck(TMonitorThread& worker);
void RunCustomCheck(TMonitorThread& worker);
void RunConsoleCheck(TMonitorThread& worker);

// Runs the check of the worker's monitor type when this build knows it; false for any other
// type (the cycle then reports "Unknown monitor type.").
bool RunHostCheck(TMonitorThread& worker);

} // namespace wardlark
