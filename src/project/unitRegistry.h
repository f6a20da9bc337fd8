#pragma once

#include <string>

namespace wardlark
{

// A small key/value store that stands in for the registry values the program keeps: one text
// file per hive, each line "key path\value name=value" with the option-list value escaping.
// The current user's file is $XDG_CONFIG_HOME (else ~/.config) + "/corvex/registry"; the
// machine-wide one is the first folder of $XDG_CONFIG_DIRS (else /etc/xdg) + "/corvex/registry".
//
// Thread safety: every call reads or rewrites the file; concurrent writers are serialised by
// the file's lock.
enum class TRegistryHive
{
    CurrentUser,
    LocalMachine,
};

std::string RegistryFileName(TRegistryHive hive);
// The value, or the empty text when the file, the key or the value is missing.
std::string ReadRegistryString(TRegistryHive hive, const std::string& keyPath, const std::string& valueName);
// Stores the value (the empty text removes it); false when the file cannot be written.
bool WriteRegistryString(TRegistryHive hive, const std::string& keyPath, const std::string& valueName,
                         const std::string& value);

} // namespace wardlark
