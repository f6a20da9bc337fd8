#pragma once

#include <cstdint>
#include <string>

namespace wardlark
{

// The system facts of the start-up banner that the application log opens each run with.
// Every function here may be called from any thread and never raises.

// "<model name> <clock> MHz" from the text of /proc/cpuinfo: the first "model name" and the
// first "cpu MHz" rounded to whole megahertz (without a clock, the name alone); "Unknown" when
// the text names no processor.
std::string ProcessorTextFrom(const std::string& cpuInfo);

// "<total> Kb (Page File: <swap> Kb)" from the text of /proc/meminfo: MemTotal and SwapTotal
// in KiB, thousands grouped with ","; a value the text lacks counts as 0.
std::string MemoryTextFrom(const std::string& memInfo);

// "Linux <kernel release> (<PRETTY_NAME>)" with PRETTY_NAME taken from the text of an
// os-release file (quotes and escapes removed); "Linux <kernel release>" when it has none.
std::string SystemTextFrom(const std::string& kernelRelease, const std::string& osRelease);

// `value` in decimal with its thousands grouped by ",": 1234567 gives "1,234,567".
std::string GroupThousands(uint64_t value);

// The texts above for the running machine (/proc/cpuinfo, /proc/meminfo, uname and
// /etc/os-release, else /usr/lib/os-release).
std::string ProcessorText();
std::string MemoryText();
std::string SystemText();

// The whole banner: the program's version and build, processor, memory and system, on lines
// of their own between blank lines, as one text with CR LF line ends.
std::string StartupBannerText();

// Writes StartupBannerText() to the application log as one entry (one LogMessage call).
void LogStartupBanner();

} // namespace wardlark
