#include "support/unitSystemInfo.h"

#include "support/unitTextRoutines.h"

#include "support/unitLog.h"
#include "unitVersion.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/utsname.h>

namespace wardlark
{

namespace
{

std::string ReadTextFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The value of the first line of a "key: value" text (as in /proc) whose key is `key`, and
// whether there was one.
bool FindProcValue(const std::string& text, const std::string& key, std::string& value)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
    {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || Trim(line.substr(0, colon)) != key)
            continue;
        value = Trim(line.substr(colon + 1));
        return true;
    }
    return false;
}

// A /proc/meminfo value such as "16318040 kB" in KiB; 0 when missing or malformed.
uint64_t MemInfoKiB(const std::string& memInfo, const std::string& key)
{
    std::string value;
    if (!FindProcValue(memInfo, key, value) || value.empty())
        return 0;
    errno = 0;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
    if (errno != 0 || end == value.c_str() || value[0] == '-')
        return 0;
    return number;
}

// The value of an os-release assignment, with shell quoting removed: surrounding double or
// single quotes, and inside double quotes the escapes \" \\ \$ \`.
std::string UnquoteOsReleaseValue(const std::string& raw)
{
    const std::string value = Trim(raw);
    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') || value.back() != value.front())
        return value;
    const char quote = value.front();
    const std::string inner = value.substr(1, value.size() - 2);
    if (quote == '\'')
        return inner;
    std::string result;
    for (size_t i = 0; i < inner.size(); ++i)
    {
        if (inner[i] == '\\' && i + 1 < inner.size() && std::string("\"\\$`").find(inner[i + 1]) != std::string::npos)
            ++i;
        result += inner[i];
    }
    return result;
}

} // namespace

std::string GroupThousands(uint64_t value)
{
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string ProcessorTextFrom(const std::string& cpuInfo)
{
    std::string name;
    if (!FindProcValue(cpuInfo, "model name", name) || name.empty())
        return "Unknown";
    std::string clock;
    if (FindProcValue(cpuInfo, "cpu MHz", clock) && !clock.empty())
    {
        // from_chars ignores the C locale, which a desktop toolkit may have switched.
        double megahertz = 0;
        const auto parsed = std::from_chars(clock.data(), clock.data() + clock.size(), megahertz);
        if (parsed.ec == std::errc() && std::isfinite(megahertz) && megahertz > 0)
            return name + " " + std::to_string(std::llround(megahertz)) + " MHz";
    }
    return name;
}

std::string MemoryTextFrom(const std::string& memInfo)
{
    return GroupThousands(MemInfoKiB(memInfo, "MemTotal")) +
           " Kb (Page File: " + GroupThousands(MemInfoKiB(memInfo, "SwapTotal")) + " Kb)";
}

std::string SystemTextFrom(const std::string& kernelRelease, const std::string& osRelease)
{
    std::istringstream lines(osRelease);
    std::string line;
    std::string prettyName;
    while (std::getline(lines, line))
    {
        const std::string assignment = Trim(line);
        if (assignment.rfind("PRETTY_NAME=", 0) == 0)
            prettyName = UnquoteOsReleaseValue(assignment.substr(12));
    }
    std::string text = "Linux " + kernelRelease;
    if (!prettyName.empty())
        text += " (" + prettyName + ")";
    return text;
}

std::string ProcessorText()
{
    try
    {
        return ProcessorTextFrom(ReadTextFile("/proc/cpuinfo"));
    }
    catch (...)
    {
        return "Unknown";
    }
}

std::string MemoryText()
{
    try
    {
        return MemoryTextFrom(ReadTextFile("/proc/meminfo"));
    }
    catch (...)
    {
        return {};
    }
}

std::string SystemText()
{
    try
    {
        utsname names{};
        const std::string release = uname(&names) == 0 ? std::string(names.release) : std::string();
        std::string osRelease = ReadTextFile("/etc/os-release");
        if (osRelease.empty())
            osRelease = ReadTextFile("/usr/lib/os-release");
        return SystemTextFrom(release, osRelease);
    }
    catch (...)
    {
        return {};
    }
}

std::string StartupBannerText()
{
    try
    {
        std::string text = "\r\n\r\n== Application Info ===========\r\nWardlark ";
        text += kVersionText;
        text += "\r\n";
        text += "Build: ";
        text += std::to_string(kVersionBuild);
        text += "\r\n";
        text += "== System Info ================";
        text += "\r\n";
        text += "CPU: " + ProcessorText() + "\r\n";
        text += "Memory: " + MemoryText() + "\r\n";
        text += "OS: " + SystemText() + "\r\n";
        text += "===============================";
        text += "\r\n\r\n";
        return text;
    }
    catch (...)
    {
        return {};
    }
}

void LogStartupBanner()
{
    const std::string banner = StartupBannerText();
    if (!banner.empty())
        LogMessage(banner);
}

} // namespace wardlark
